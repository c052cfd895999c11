#pragma once
// Runs a scenario on the real module over the simulated board, in virtual
// time, event by event: idle time costs nothing.
#include "scenario.h"
#include "timeline.h"
#include "trace_sink.h"

#include <array>
#include <cstdint>
#include <vector>

namespace lampsim {

struct run_totals {
    uint64_t end_us = 0;
    uint64_t ticks = 0;  // timer-14 ticks delivered
    uint64_t writes = 0; // output updates
};

class lamp_runner {
  public:
    lamp_runner(timeline &log, std::vector<trace_sink *> sinks);
    // The flash is whatever the host flash holds when this is called.
    run_totals run(const scenario &s);

    // Board callbacks (C function pointers carry the runner as context).
    void on_pwm(uint64_t t_board_us, uint8_t channel, uint16_t duty);
    void on_timer14(uint64_t t_board_us, bool running, uint32_t period_us);

  private:
    struct lamp_state {
        bool switch_on;
        uint16_t bright, temper;
        uint32_t countdown;
        uint8_t adjusted_mode, blink_cnt;
    };

    uint64_t now() const;
    void power_on(uint64_t t_us);
    void power_cut(uint64_t t_us);
    void advance_to(uint64_t t_us);
    void run_until_idle(uint64_t limit_us);
    void execute(const command &c);
    void after_events();
    void report_state_changes();
    void report_flash();
    void flush_pending_output();

    timeline &log_;
    std::vector<trace_sink *> sinks_;
    lamp_config config_;
    bool powered_ = false;
    bool nvm_fail_ = false;
    uint64_t offset_us_ = 0; // scenario time of the last power-on
    uint64_t last_event_us_ = 0;
    lamp_state shown_state_{};
    uint32_t flash_ops_ = 0;
    std::array<uint8_t, 7> record_{};
    std::array<uint16_t, 2> duty_{};
    bool pending_ = false; // channel 0 written, channel 1 not yet
    uint64_t pending_at_ = 0;
    uint64_t fade_started_us_ = 0;
    uint64_t fade_start_ticks_ = 0;
    run_totals totals_;
};

} // namespace lampsim
