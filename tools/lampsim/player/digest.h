#pragma once
// Fade digests: the stream of a run with each fade's PWM writes folded into
// one digest event, so that a serial line carries it in real time (a blink's
// 22 us fade writes some 90,000 values a second). Everything else passes
// through unchanged.
//
// A fade is the span from a fade start to the next fade event (its stop, or
// a restart), a power cut or the end of the run. Its digest, sent just before
// the event that ends it, counts the writes in the span and holds the CRC-32
// (crc32.h) over each write's 7 bytes in order: the microseconds since the
// fade's start (4 bytes, little-endian, modulo 2^32), the channel (1 byte)
// and the value (2 bytes, little-endian), and the last values of channels 0
// and 1. Writes outside fades pass through one by one.
#include "events.h"

#include <stdint.h>

namespace lampsim {

class digest_events final : public events {
  public:
    explicit digest_events(events &out) : out_(out) {}

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

    // PWM writes seen since the run's start; resume() carries the count over
    // a chip reset.
    uint32_t writes_seen() const { return seen_; }
    void resume(uint32_t writes_seen) { seen_ = writes_seen; }
    // The self-check of the comparison: write number `n` of the run (from 1;
    // 0 for none) has the lowest bit of its value flipped before anything
    // sees it, as on a board whose PWM output is off by one there.
    void change_write(uint32_t n) { change_ = n; }

  private:
    void close(uint64_t t_us);

    events &out_;
    bool open_ = false;
    uint64_t start_us_ = 0;
    fade_digest digest_{};
    uint16_t last_[2] = {0, 0};
    uint32_t seen_ = 0;
    uint32_t change_ = 0;
};

} // namespace lampsim
