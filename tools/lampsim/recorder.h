#pragma once
// Turns the events of a run (from either board) into the timeline, the
// writers' outputs and the expectations' results.
#include "events.h"
#include "scenario.h"
#include "timeline.h"
#include "trace_sink.h"

#include <cstdio>
#include <vector>

namespace lampsim {

struct run_totals {
    uint64_t end_us = 0;
    uint64_t ticks = 0;    // timer-14 ticks delivered, over every power cycle
    uint64_t writes = 0;   // output updates (outside fades, on a stream with digests)
    uint64_t digested = 0; // PWM writes folded into fade digests
    unsigned expectations = 0;
    unsigned failed = 0;
};

class recorder final : public events {
  public:
    // Failed expectations are reported on `failures` as FILE:LINE: lines.
    recorder(const scenario &s, timeline &log, std::vector<trace_sink *> sinks,
             std::FILE *failures);

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

    const run_totals &totals() const { return totals_; }

  private:
    void flush_output();
    std::string shown(const command_spec &c, int16_t result, const int64_t *readings,
                      uint8_t count) const;
    std::string check(uint32_t index, int16_t verdict, const int64_t *readings, uint8_t count);

    const scenario &scenario_;
    timeline &log_;
    std::vector<trace_sink *> sinks_;
    std::FILE *failures_;
    lamp_state state_{};
    bool in_step_ = false;
    uint16_t duty_[2] = {0, 0};
    bool pending_ = false; // channel 0 written, channel 1 not yet
    uint64_t pending_at_ = 0;
    bool fading_ = false;
    uint64_t fade_started_us_ = 0;
    uint64_t fade_start_ticks_ = 0;
    run_totals totals_;
};

} // namespace lampsim
