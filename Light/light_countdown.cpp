// Countdown: toggles the lamp with a fade after a number of seconds, counted by
// a one-second timer that re-arms itself, and saves the new state 5 s later.
#include "light_ctrl_private.h"

#include "timer.h"

namespace {
constexpr int32_t countdown_max_sec = 86400; // one day
constexpr uint32_t second_ms = 1000;
constexpr uint32_t toggle_save_delay_ms = 5000;
timer_event_t countdown_timer = {};
} // namespace

light_result_t light_ctrl_data_countdown_set(int32_t countdown_sec) {
    if (countdown_sec < 0 || countdown_sec > countdown_max_sec) {
        return LIGHT_INVALID_PARM;
    }
    light_ctrl_data.countdown = static_cast<uint32_t>(countdown_sec);
    if (countdown_sec == 0) {
        timer_stop(&countdown_timer);
        return LIGHT_OK;
    }
    _light_ctrl_timer_arm(&countdown_timer, _light_ctrl_countdown_timer_callback, second_ms);
    return LIGHT_OK;
}

void _light_ctrl_countdown_timer_callback(void *param) {
    (void)param;
    light_ctrl_data_t &d = light_ctrl_data;
    if (d.countdown <= 1) {
        d.countdown = 0;
        d.switch_status = !d.switch_status;
        light_ctrl_process(SWITCH_GRADUAL);
        light_ctrl_data_auto_save_start(toggle_save_delay_ms);
        return;
    }
    --d.countdown;
    timer_start(&countdown_timer);
}

void _light_countdown_reset(void) {
    countdown_timer = {};
}
