#pragma once
// The module writes channel 0 and then channel 1 on one microsecond for one
// change of the lamp's light: the consumers that show the outputs over time
// take such a pair as one update, and a write of either channel alone as an
// update too. Whether a write of channel 0 stands alone shows only at the
// next event, so a consumer calls flush() on every event other than pwm.
#include <cstdint>

namespace lampsim {

class output_pairing {
  public:
    // Calls update(t_us, channel0, channel1) for each update this write ends:
    // one left open before it, and this one if it is channel 1's.
    template <typename F> void pwm(uint64_t t_us, uint8_t channel, uint16_t duty, F update) {
        if (channel > 1) {
            return;
        }
        if (open_ && !(channel == 1 && open_at_ == t_us)) {
            flush(update);
        }
        duty_[channel] = duty;
        open_ = true;
        open_at_ = t_us;
        if (channel == 1) {
            flush(update);
        }
    }
    template <typename F> void flush(F update) {
        if (open_) {
            open_ = false;
            update(open_at_, duty_[0], duty_[1]);
        }
    }
    // The supply fails: both channels dark until the next write.
    void dark() {
        open_ = false;
        duty_[0] = duty_[1] = 0;
    }
    uint16_t duty(int channel) const { return duty_[channel]; }

  private:
    uint16_t duty_[2] = {0, 0};
    bool open_ = false; // channel 0 written, channel 1 not yet
    uint64_t open_at_ = 0;
};

} // namespace lampsim
