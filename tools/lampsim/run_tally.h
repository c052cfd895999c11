#pragma once
// The run's totals, read from the event stream: where it ended, the fade
// ticks over every power cycle and the updates of the outputs (as
// output_pairing.h makes them).
#include "events.h"

namespace lampsim {

class run_tally final : public events {
  public:
    void power(uint64_t, bool on, uint64_t ticks, const lamp_state &) override {
        count_open();
        if (!on) {
            ticks_ += ticks;
        }
    }
    // The updates as output_pairing makes them, counted without keeping the
    // values: this runs on every write of a run.
    void pwm(uint64_t t_us, uint8_t channel, uint16_t) override {
        if (channel == 0) {
            updates_ += open_;
            open_ = 1;
            open_at_ = t_us;
        } else if (channel == 1) {
            // Paired with channel 0's write of this microsecond, or alone
            // after an unpaired one.
            updates_ += 1u + (open_at_ != t_us ? open_ : 0u);
            open_ = 0;
        }
    }
    void fade(uint64_t, bool, uint32_t, uint64_t) override { count_open(); }
    void state(uint64_t, const lamp_state &) override { count_open(); }
    void save(uint64_t, uint16_t, const uint8_t *) override { count_open(); }
    void begin(uint64_t, uint32_t) override { count_open(); }
    void result(uint64_t, uint32_t, int16_t, const int64_t *, uint8_t) override { count_open(); }
    void end(uint64_t t_us, uint64_t ticks) override {
        count_open();
        end_us_ = t_us;
        ticks_ += ticks;
    }

    // In place of a fade's writes, on a stream that folds them.
    void digest(uint64_t, const fade_digest &d) override {
        count_open();
        digested_ += d.writes;
    }

    uint64_t end_us() const { return end_us_; }
    uint64_t ticks() const { return ticks_; }
    uint64_t updates() const { return updates_; }   // outside fades, on a stream with digests
    uint64_t digested() const { return digested_; } // PWM writes folded into fade digests

  private:
    void count_open() {
        updates_ += open_;
        open_ = 0;
    }

    uint32_t open_ = 0; // 1: channel 0 written, channel 1 not yet
    uint64_t open_at_ = 0;
    uint64_t end_us_ = 0;
    uint64_t ticks_ = 0;
    uint64_t updates_ = 0;
    uint64_t digested_ = 0;
};

} // namespace lampsim
