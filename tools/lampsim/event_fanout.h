#pragma once
// One event stream to every consumer that reads it, in the order they were
// added. The PWM writes, by far the most events, go only to the consumers
// that read them, and to the run's tally by a direct call (it reads every
// write of every run).
#include "events.h"
#include "run_tally.h"

#include <vector>

namespace lampsim {

class event_fanout final : public events {
  public:
    // The tally first: it sees each event before the other consumers.
    void add(run_tally &tally) {
        tally_ = &tally;
        all_.push_back(&tally);
    }
    void add(events &consumer, bool reads_pwm = true) {
        all_.push_back(&consumer);
        if (reads_pwm) {
            pwm_.push_back(&consumer);
        }
    }

    void power(uint64_t t, bool on, uint64_t ticks, const lamp_state &s) override {
        for (events *e : all_) {
            e->power(t, on, ticks, s);
        }
    }
    // The consumers' loop apart, so that a write nothing but the tally reads
    // (lampsim --quiet) costs no more than the tally's count.
    void pwm(uint64_t t, uint8_t channel, uint16_t duty) override {
        if (tally_ != nullptr) {
            tally_->pwm(t, channel, duty);
        }
        if (!pwm_.empty()) {
            pwm_to_consumers(t, channel, duty);
        }
    }
    void fade(uint64_t t, bool running, uint32_t period_us, uint64_t ticks) override {
        for (events *e : all_) {
            e->fade(t, running, period_us, ticks);
        }
    }
    void state(uint64_t t, const lamp_state &s) override {
        for (events *e : all_) {
            e->state(t, s);
        }
    }
    void save(uint64_t t, uint16_t written, const uint8_t *record) override {
        for (events *e : all_) {
            e->save(t, written, record);
        }
    }
    void begin(uint64_t t, uint32_t index) override {
        for (events *e : all_) {
            e->begin(t, index);
        }
    }
    void result(uint64_t t, uint32_t index, int16_t result, const int64_t *readings,
                uint8_t count) override {
        for (events *e : all_) {
            e->result(t, index, result, readings, count);
        }
    }
    void end(uint64_t t, uint64_t ticks) override {
        for (events *e : all_) {
            e->end(t, ticks);
        }
    }

    void digest(uint64_t t, const fade_digest &d) override {
        for (events *e : all_) {
            e->digest(t, d);
        }
    }

  private:
    [[gnu::noinline]] void pwm_to_consumers(uint64_t t, uint8_t channel, uint16_t duty) {
        for (events *e : pwm_) {
            e->pwm(t, channel, duty);
        }
    }

    run_tally *tally_ = nullptr;
    std::vector<events *> all_;
    std::vector<events *> pwm_;
};

} // namespace lampsim
