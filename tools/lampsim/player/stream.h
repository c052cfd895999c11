#pragma once
// The events of a run as bytes: how the player on the chip sends them to
// lampsim (through a semihosting file), which decodes them back into the same
// events (stream_decode.h). Each record is a tag, the time as a signed
// difference from the previous record's, then its fields; numbers are
// variable-length (7 bits a byte, low first), signed ones zigzag-coded.
#include "events.h"

#include <stdint.h>

namespace lampsim {
namespace stream {

enum tag : uint8_t {
    tag_power_on = 1, // dt, ticks, state
    tag_power_off,    // dt, ticks, state
    tag_pwm0,         // dt, duty (channel 0)
    tag_pwm1,         // dt, duty (channel 1)
    tag_pwm,          // dt, channel, duty
    tag_fade_start,   // dt, period, ticks
    tag_fade_stop,    // dt, period, ticks
    tag_state,        // dt, state
    tag_save,         // dt, written, 7 record bytes
    tag_begin,        // dt, index
    tag_result,       // dt, index, result (signed), count, readings (signed)
    tag_end,          // dt, ticks
    // After the end, from the chip only: not events of the run.
    tag_busy_ms, // milliseconds through which thread mode never ran
    tag_image,   // length, then the store's flash data area, raw
    // A fade's PWM writes folded (digest.h), on a stream that folds them.
    tag_digest, // dt, writes, crc, last value of channel 0, of channel 1
    tag_timing, // the dispatcher's lag (us), the most busy milliseconds in a row
};

class writer final : public events {
  public:
    using sink_fn = void (*)(void *ctx, const uint8_t *bytes, uint32_t len);
    writer(sink_fn sink, void *ctx) : sink_(sink), ctx_(ctx) {}

    void power(uint64_t t_us, bool on, uint64_t ticks, const lamp_state &state) override;
    void pwm(uint64_t t_us, uint8_t channel, uint16_t duty) override;
    void fade(uint64_t t_us, bool running, uint32_t period_us, uint64_t ticks) override;
    void state(uint64_t t_us, const lamp_state &state) override;
    void save(uint64_t t_us, uint16_t written, const uint8_t *record) override;
    void begin(uint64_t t_us, uint32_t index) override;
    void result(uint64_t t_us, uint32_t index, int16_t result, const int64_t *readings,
                uint8_t count) override;
    void end(uint64_t t_us, uint64_t ticks) override;
    void digest(uint64_t t_us, const fade_digest &d) override;

    // Records carry time differences: a writer that takes over from another
    // (on the chip, after a reset) goes on from the other's last time.
    uint64_t last_time() const { return last_us_; }
    void resume(uint64_t last_us) { last_us_ = last_us; }

    void busy_ms(uint32_t ms);
    // The most the board's dispatcher fell behind a millisecond boundary, and
    // the most milliseconds in a row through which thread mode never ran.
    void timing(uint32_t lag_us, uint32_t busy_run_ms);
    // The record's head; the caller sends the `len` bytes through the sink.
    void image_head(uint32_t len);

  private:
    void start(uint8_t tag, uint64_t t_us);
    void number(uint64_t v);
    void signed_number(int64_t v);
    void lamp(const lamp_state &s);
    void send();

    sink_fn sink_;
    void *ctx_;
    uint64_t last_us_ = 0;
    uint8_t buf_[192];
    uint32_t used_ = 0;
};

} // namespace stream
} // namespace lampsim
