// The fade engine: moves the outputs towards the targets one tick of timer 14 at
// a time, both channels in proportion to their distances, and stops itself on
// arrival. In brightness/temperature mode a switched-off lamp has its
// temperature channel cleared one second after a fade-out arrives.
#include "light_ctrl_hooks.h"
#include "light_ctrl_private.h"

#include "fade_step.h"
#include "tim.h"
#include "timer.h"

namespace {

// Largest channel move per tick. Never changed: fade_step::step and move()
// rely on one unit per tick.
constexpr uint16_t step_gain = 1;
static_assert(step_gain == 1, "the integer fade step is exact for a gain of 1");
fade_step::scale_t scale_white = {};
fade_step::scale_t scale_warm = {};
uint16_t step_white_temp = 0;
uint16_t step_warm_temp = 0;
bool cw_refresh_flag = false;
timer_event_t cct_delay_shut_down_timer = {};

// Working values are held in 32 bits: they fit 16, and the core has no 16-bit
// arithmetic, so narrower locals would only add zero extensions.
uint32_t magnitude(int32_t error) {
    return static_cast<uint32_t>(error < 0 ? -error : error);
}

// Moves value towards its target by step. A step is 0 or 1 and 0 on a channel
// that has arrived, so it never passes the target.
uint16_t move(uint32_t value, int32_t error, uint32_t step) {
    return static_cast<uint16_t>(error < 0 ? value - step : value + step);
}

// Both channels' steps for distances that are not both 0, packed as
// white | warm << 16. At most one channel is behind the other; it alone needs
// the step arithmetic (fade_step.h). The leading
// one has the scale 1.0 and takes step_gain. A function of its own, so the
// tick keeps its few values in registers across it.
[[gnu::noinline]] uint32_t channel_steps(uint32_t error_white_abs, uint32_t error_warm_abs) {
    const bool white_leads = error_white_abs >= error_warm_abs;
    const uint32_t max_error = white_leads ? error_white_abs : error_warm_abs;
    const uint32_t behind_abs = white_leads ? error_warm_abs : error_white_abs;
    if (light_ctrl_handle.first_change) {
        light_ctrl_handle.first_change = false;
        const fade_step::scale_t behind_scale = fade_step::scale(behind_abs, max_error);
        scale_white = white_leads ? fade_step::scale_one : behind_scale;
        scale_warm = white_leads ? behind_scale : fade_step::scale_one;
    }
    const uint32_t behind_step =
        behind_abs == max_error
            ? step_gain
            : fade_step::step(behind_abs, max_error, white_leads ? scale_warm : scale_white);
    return white_leads ? step_gain | behind_step << 16 : behind_step | step_gain << 16;
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
    return static_cast<uint32_t>(1000u * light_cfg_data.gradual_time) / CTRL_CAL_VALUE_RANGE;
}

void light_ctrl_gradually_timer_handler(void) {
    light_ctrl_handle_t &h = light_ctrl_handle;
    const uint32_t white = h.current_val.white;
    const uint32_t warm = h.current_val.warm;
    // The errors are kept wider than 16 bits so that distances above 32767
    // (only from restored values above 182) still move towards the target.
    const int32_t error_white =
        static_cast<int32_t>(h.target_val.white) - static_cast<int32_t>(white);
    const int32_t error_warm = static_cast<int32_t>(h.target_val.warm) - static_cast<int32_t>(warm);

    if (error_white == 0 && error_warm == 0) {
        _light_ctrl_gradually_stop();
        _light_ctrl_fade_arrived();
        return;
    }

    const uint32_t steps = channel_steps(magnitude(error_white), magnitude(error_warm));
    uint32_t step_white = steps & 0xFFFFu;
    uint32_t step_warm = steps >> 16;

    // Cold/warm mixing with both channels moving the same way: one channel per
    // tick, so the total light changes by at most step_gain.
    if (light_cfg_data.bright_mode == BRIGHT_MODE_CW && error_white != 0 && error_warm != 0 &&
        (error_white ^ error_warm) >= 0) {
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

    const uint16_t new_white = move(white, error_white, step_white);
    const uint16_t new_warm = move(warm, error_warm, step_warm);
    h.current_val.white = new_white;
    h.current_val.warm = new_warm;
    light_set_cw(new_white, new_warm);
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

void light_ctrl_fade_set_refresh_flag(bool value) {
    cw_refresh_flag = value;
}

void _light_fade_reset(void) {
    scale_white = {};
    scale_warm = {};
    step_white_temp = 0;
    step_warm_temp = 0;
    cw_refresh_flag = false;
    cct_delay_shut_down_timer = {};
}
