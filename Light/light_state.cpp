// The module's shared records, their power-on values, and the low-power hooks
// that the module keeps for the firmware's power management (they do nothing).
#include "light_ctrl_hooks.h"
#include "light_ctrl_private.h"

#include "timer.h"

namespace {
// Two channels, brightness/temperature driving, a 5 s fade across the scale.
constexpr light_ctrl_cfg_t default_cfg = {LIGHT_CW, BRIGHT_MODE_CCT, 5000};
timer_event_t lowpower_timer = {}; // never armed
} // namespace

light_ctrl_cfg_t light_cfg_data = default_cfg;
light_ctrl_data_t light_ctrl_data = {};
light_ctrl_handle_t light_ctrl_handle = {};

void _light_sys_ctrl_lowpower_enter(void) {}
void _light_sys_ctrl_lowpower_exist(void) {}
bool _light_ctrl_lowpower_process(bool on_off) {
    (void)on_off;
    return true;
}
void light_ctrl_lowpower_enter_timer_handler(void *param) {
    (void)param;
    _light_sys_ctrl_lowpower_enter();
}

uint8_t _light_ctrl_timer_arm(timer_event_t *timer, void (*callback)(void *param), uint32_t ms) {
    timer_init(timer, callback);
    timer_set_value(timer, ms);
    return timer_start(timer);
}

void _light_state_reset(void) {
    light_cfg_data = default_cfg;
    light_ctrl_data = {};
    light_ctrl_handle = {};
    lowpower_timer = {};
}

void light_ctrl_power_on_reset(void) {
    _light_state_reset();
    _light_fade_reset();
    _light_switch_reset();
    _light_adjust_reset();
    _light_countdown_reset();
    _light_blink_reset();
    _light_persist_reset();
}
