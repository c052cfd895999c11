// The fade engine: moves the outputs towards the targets one tick of timer 14 at
// a time, both channels in proportion to their distances, and stops itself on
// arrival. In brightness/temperature mode a switched-off lamp has its
// temperature channel cleared one second after a fade-out arrives.
#include "light_ctrl_internal.h"

#include "fade_step.h"
#include "tim.h"
#include "timer.h"

namespace {

uint16_t step_gain = 1; // largest channel move per tick
float scale_white = 0.0f;
float scale_warm = 0.0f;
uint16_t step_white_temp = 0;
uint16_t step_warm_temp = 0;
bool cw_refresh_flag = false;
timer_event_t cct_delay_shut_down_timer = {};

uint16_t magnitude(int32_t error) {
    return static_cast<uint16_t>(error < 0 ? -error : error);
}

// Moves value towards its target by step, arriving exactly.
uint16_t move(uint16_t value, int32_t error, uint16_t error_abs, uint16_t step) {
    if (error_abs < step) {
        return static_cast<uint16_t>(value + error);
    }
    return error < 0 ? static_cast<uint16_t>(value - step) : static_cast<uint16_t>(value + step);
}

} // namespace

void _light_ctrl_gradually_start(uint32_t time_us) {
    timer14_start(time_us);
    light_ctrl_handle.first_change = true;
}

void _light_ctrl_gradually_stop(void) {
    timer14_stop();
}

uint32_t _light_ctrl_gradual_period_us(void) {
    return static_cast<uint32_t>(1000u * light_cfg_data.gradual_time) / 18000u;
}

void light_ctrl_gradually_timer_handler(void) {
    light_ctrl_handle_t &h = light_ctrl_handle;
    uint16_t step_white = 0;
    uint16_t step_warm = 0;
    // The errors are kept wider than 16 bits so that distances above 32767
    // (only from restored values above 182) still move towards the target.
    const int32_t error_white = static_cast<int32_t>(h.target_val.white) - h.current_val.white;
    const int32_t error_warm = static_cast<int32_t>(h.target_val.warm) - h.current_val.warm;

    if (error_white == 0 && error_warm == 0) {
        _light_ctrl_gradually_stop();
        _light_ctrl_fade_arrived();
        return;
    }

    const uint16_t error_white_abs = magnitude(error_white);
    const uint16_t error_warm_abs = magnitude(error_warm);
    const uint16_t max_error = error_white_abs > error_warm_abs ? error_white_abs : error_warm_abs;

    if (h.first_change) {
        h.first_change = false;
        scale_white = fade_step::scale(error_white_abs, max_error);
        scale_warm = fade_step::scale(error_warm_abs, max_error);
    }

    step_white = fade_step::step(error_white_abs, max_error, scale_white, step_gain);
    step_warm = fade_step::step(error_warm_abs, max_error, scale_warm, step_gain);

    // Cold/warm mixing with both channels moving the same way: one channel per
    // tick, so the total light changes by at most step_gain.
    if (light_cfg_data.bright_mode == BRIGHT_MODE_CW &&
        ((error_white > 0 && error_warm > 0) || (error_white < 0 && error_warm < 0))) {
        if (cw_refresh_flag) {
            step_white_temp = static_cast<uint16_t>(step_white_temp + step_white);
            if (step_white_temp >= step_gain) {
                step_white_temp = 0;
                cw_refresh_flag = false;
            }
            step_white = 0;
        } else {
            step_warm_temp = static_cast<uint16_t>(step_warm_temp + step_warm);
            if (step_warm_temp >= step_gain) {
                step_warm_temp = 0;
                cw_refresh_flag = true;
            }
            step_warm = 0;
        }
    }

    if (error_white != 0) {
        h.current_val.white = move(h.current_val.white, error_white, error_white_abs, step_white);
    }
    if (error_warm != 0) {
        h.current_val.warm = move(h.current_val.warm, error_warm, error_warm_abs, step_warm);
    }
    light_set_cw(h.current_val.white, h.current_val.warm);
}

void _light_ctrl_fade_arrived(void) {
    if (light_cfg_data.bright_mode == BRIGHT_MODE_CCT && !light_ctrl_data.switch_status) {
        timer_init(&cct_delay_shut_down_timer, _light_ctrl_cct_shut_down_time_callback);
        timer_set_value(&cct_delay_shut_down_timer, 1000);
        timer_start(&cct_delay_shut_down_timer);
    }
}

void _light_ctrl_cct_shut_down_time_callback(void *param) {
    (void)param;
    if (light_ctrl_data.switch_status) {
        return;
    }
    light_ctrl_handle.current_val.white = 0;
    light_ctrl_handle.current_val.warm = 0;
    light_set_cw(0, 0);
}

bool light_ctrl_fade_refresh_flag(void) {
    return cw_refresh_flag;
}
void light_ctrl_fade_set_refresh_flag(bool value) {
    cw_refresh_flag = value;
}

void _light_fade_reset(void) {
    step_gain = 1;
    scale_white = 0.0f;
    scale_warm = 0.0f;
    step_white_temp = 0;
    step_warm_temp = 0;
    cw_refresh_flag = false;
    cct_delay_shut_down_timer = {};
}
