#pragma once
// The events of a run as text, one line each (--trace FILE): what the two
// boards must agree on byte for byte.
#include "events.h"

#include <cstdio>

namespace lampsim {

class trace_text final : public events {
  public:
    explicit trace_text(std::FILE *out) : out_(out) {}

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

  private:
    void lamp(const lamp_state &s);
    std::FILE *out_;
};

// Every event to both.
class event_tee final : public events {
  public:
    event_tee(events &a, events &b) : a_(a), b_(b) {}

    void power(uint64_t t, bool on, uint64_t ticks, const lamp_state &s) override {
        a_.power(t, on, ticks, s);
        b_.power(t, on, ticks, s);
    }
    void pwm(uint64_t t, uint8_t channel, uint16_t duty) override {
        a_.pwm(t, channel, duty);
        b_.pwm(t, channel, duty);
    }
    void fade(uint64_t t, bool running, uint32_t period_us, uint64_t ticks) override {
        a_.fade(t, running, period_us, ticks);
        b_.fade(t, running, period_us, ticks);
    }
    void state(uint64_t t, const lamp_state &s) override {
        a_.state(t, s);
        b_.state(t, s);
    }
    void save(uint64_t t, uint16_t written, const uint8_t *record) override {
        a_.save(t, written, record);
        b_.save(t, written, record);
    }
    void begin(uint64_t t, uint32_t index) override {
        a_.begin(t, index);
        b_.begin(t, index);
    }
    void result(uint64_t t, uint32_t index, int16_t result, const int64_t *readings,
                uint8_t count) override {
        a_.result(t, index, result, readings, count);
        b_.result(t, index, result, readings, count);
    }
    void end(uint64_t t, uint64_t ticks) override {
        a_.end(t, ticks);
        b_.end(t, ticks);
    }
    void digest(uint64_t t, const fade_digest &d) override {
        a_.digest(t, d);
        b_.digest(t, d);
    }

  private:
    events &a_;
    events &b_;
};

} // namespace lampsim
