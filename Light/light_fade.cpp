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

// Largest channel move per tick. Never changed: fade_step::step, move() and
// the alternation rely on one unit per tick.
constexpr uint16_t step_gain = 1;
static_assert(step_gain == 1, "the integer fade step is exact for a gain of 1");

// The fade's own state, in one record so that the tick reaches it through one
// address. The scales stay fixed for a fade; the alternation's turn carries
// over from one fade to the next.
struct fade_state_t {
    fade_step::scale_t scale_white;
    fade_step::scale_t scale_warm;
    bool cw_refresh_flag; // true: channel 0 holds on the next alternating tick
};
fade_state_t fade = {};
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

// The first tick of a fade, before anything else: the channel behind gets its
// share of the larger distance, the leading one 1.0. A tick that finds the
// outputs arrived leaves first_change set and the scales as they are. Apart
// from the tick and ahead of it, so that the tick keeps nothing across it.
[[gnu::noinline]] void set_scales() {
    light_ctrl_handle_t &h = light_ctrl_handle;
    const uint32_t white_abs = magnitude(static_cast<int32_t>(h.target_val.white) -
                                         static_cast<int32_t>(h.current_val.white));
    const uint32_t warm_abs = magnitude(static_cast<int32_t>(h.target_val.warm) -
                                        static_cast<int32_t>(h.current_val.warm));
    if (white_abs == 0 && warm_abs == 0) {
        return;
    }
    h.first_change = false;
    if (white_abs >= warm_abs) {
        fade.scale_white = fade_step::scale_one;
        fade.scale_warm = fade_step::scale(warm_abs, white_abs);
    } else {
        fade.scale_white = fade_step::scale(white_abs, warm_abs);
        fade.scale_warm = fade_step::scale_one;
    }
}

// The step of a channel behind the leading one (0 < behind_abs < max_error).
// Apart from the tick, which then keeps its few values in registers across it.
[[gnu::noinline]] uint32_t behind_step(uint32_t behind_abs, uint32_t max_error,
                                       fade_step::scale_t scale) {
    return fade_step::step(behind_abs, max_error, scale);
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
    if (h.first_change) {
        set_scales();
    }
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

    const uint32_t error_white_abs = magnitude(error_white);
    const uint32_t error_warm_abs = magnitude(error_warm);
    // At most one channel is behind the other. The leading one has the scale
    // 1.0 and takes step_gain, as does one behind by as much; one that has
    // arrived takes 0 whatever its scale, as the float step gives it:
    // t4 = s - max_error * s <= 0. Only a channel between the two needs the
    // step arithmetic.
    const bool white_leads = error_white_abs >= error_warm_abs;
    const uint32_t max_error = white_leads ? error_white_abs : error_warm_abs;
    const uint32_t behind_abs = white_leads ? error_warm_abs : error_white_abs;
    uint32_t step = behind_abs != 0 ? step_gain : 0u;
    if (step != 0 && behind_abs != max_error) {
        step = behind_step(behind_abs, max_error, white_leads ? fade.scale_warm : fade.scale_white);
    }
    uint32_t step_white = white_leads ? step_gain : step;
    uint32_t step_warm = white_leads ? step : step_gain;

    // Cold/warm mixing with both channels moving the same way: one channel
    // per tick, so the total light changes by at most step_gain. The channel
    // whose turn it is holds, and hands the turn over when it had a step to
    // take. That is the accumulator form with one-unit steps: there the held
    // channel's step (0 or 1) is added to its accumulator, which is cleared
    // and hands the turn over once it reaches step_gain (1). An accumulator so
    // goes from 0 to 1 and back to 0 within the tick, or stays 0; it never
    // holds anything between ticks or fades, so none is kept, and the turn
    // changes exactly when the held channel's step is 1.
    if (light_cfg_data.bright_mode == BRIGHT_MODE_CW && error_white != 0 && error_warm != 0 &&
        (error_white ^ error_warm) >= 0) {
        if (fade.cw_refresh_flag) {
            fade.cw_refresh_flag = step_white == 0;
            step_white = 0;
        } else {
            fade.cw_refresh_flag = step_warm != 0;
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
    fade.cw_refresh_flag = value;
}

void _light_fade_reset(void) {
    fade = {};
    cct_delay_shut_down_timer = {};
}
