// The fade engine: moves the outputs towards the targets one tick of timer 14 at
// a time, both channels in proportion to their distances, and stops itself on
// arrival. In brightness/temperature mode a switched-off lamp has its
// temperature channel cleared one second after a fade-out arrives.
#include "light_ctrl_hooks.h"
#include "light_ctrl_private.h"

#include "fade_step.h"
#include "light_quotient.h"
#include "tim.h"
#include "timer.h"

namespace {

// Largest channel move per tick. Never changed: fade_step::step, the plan and
// the alternation rely on one unit per tick.
constexpr uint16_t step_gain = 1;
static_assert(step_gain == 1, "the integer fade step is exact for a gain of 1");

// A switched-off lamp in brightness/temperature mode has its outputs cleared
// this long after a fade arrives.
constexpr uint32_t cct_shut_down_delay_ms = 1000;

// A channel in a set of channels: white (channel 0) and warm (channel 1).
constexpr uint32_t white_bit = 1;
constexpr uint32_t warm_bit = 2;
constexpr uint32_t both_bits = white_bit | warm_bit;
// One unit of each channel in a set, as packed values hold it (white | warm << 16).
constexpr uint32_t units[4] = {0, 1, 1u << 16, (1u << 16) | 1};

// The tick works by a plan: how the channels move while nothing but the tick
// moves them. plan_steps holds the channels that step this tick in bits 0-1
// (before the alternation), the channel whose step follows its margin in bits
// 2-3 (a margin plan), plan_once when the plan holds for one tick only, and
// plan_taken once a tick has taken it (a plan made when a fade starts waits
// for its first tick); 0 is no plan. plan_down holds the channels that move
// down, and plan_same_way when both move, the same way.
constexpr uint32_t margin_shift = 2;
constexpr uint32_t plan_margin = both_bits << margin_shift;
constexpr uint32_t plan_once = 1u << 4;
constexpr uint32_t plan_taken = 1u << 7;
constexpr uint32_t plan_same_way = 1u << 2;

// The fade's own state, in one record so that the tick reaches it through one
// address. The scales stay fixed for a fade: the channel in one_bit has 1.0,
// another share (at power-on both have 0). The alternation's turn,
// cw_refresh_flag (true: white holds on the next alternating tick), carries
// over from one fade to the next. The plan is for the outputs plan_outputs
// (white | warm << 16) at the distances plan_distances from the targets
// (likewise); the tick moves both by its steps and, where the plan no longer
// holds, makes the next one. Whatever else changes outputs or targets while a
// fade runs drops it: a fade start (which makes the next), the delayed
// shut-down, a power-on.
struct fade_state_t {
    fade_step::scale_t share;
    uint32_t plan_outputs;
    uint32_t plan_distances;
    int32_t margin; // fade_step::step's, of the channel behind in a margin plan
    uint8_t one_bit;
    uint8_t plan_steps;
    uint8_t plan_down;
    bool cw_refresh_flag;
};
fade_state_t fade = {};
timer_event_t cct_delay_shut_down_timer = {};

// Working values are held in 32 bits: they fit 16, and the core has no 16-bit
// arithmetic, so narrower locals would only add zero extensions.
uint32_t magnitude(int32_t error) {
    return static_cast<uint32_t>(error < 0 ? -error : error);
}

uint32_t packed(bright_data_t values) {
    return static_cast<uint32_t>(values.white) | static_cast<uint32_t>(values.warm) << 16;
}

// The scale of the channel behind (e) at a fade's first tick. Apart from
// plan_at, which then keeps its values in registers across it.
[[gnu::noinline]] fade_step::scale_t share_of(uint32_t e, uint32_t m) {
    return fade_step::scale(e, m);
}

// The plan bits of the channel behind_bit behind the leading one (0 < e < m).
uint32_t behind_plan(uint32_t e, uint32_t m, uint32_t behind_bit) {
    const fade_step::scale_t scale =
        (fade.one_bit & behind_bit) != 0 ? fade_step::scale_one : fade.share;
    if (fade_step::holds_back(e, scale)) {
        return 0;
    }
    const uint32_t step = fade_step::step(e, m, scale, fade.margin);
    return ((step & fade_step::margin_set) != 0 ? behind_bit << margin_shift : plan_once) |
           ((step & 1u) != 0 ? behind_bit : 0u);
}

// The plan bits for the channels at the distances (packed) from their
// targets, moving the ways plan_down says: 0 when both have arrived; with
// new_scales the scales of a fade's first tick first: the channel behind gets
// its share of the larger distance, the leading one 1.0. At most one channel
// is behind the other. The leading one has the scale 1.0 and takes step_gain,
// as does one behind by as much (both then for as long as they stay level);
// one that has arrived takes 0 whatever its scale, as the float step gives
// it: t4 = s - m * s <= 0, and so does one that fade_step::holds_back, until
// the leading one comes level. The step of any other follows its margin,
// carried from tick to tick, or, where step() sets none, comes afresh on every
// tick. A channel that has arrived ends the cold/warm alternation, which only
// paces two channels moving the same way.
[[gnu::noinline]] uint32_t plan_at(uint32_t distances, bool new_scales) {
    const uint32_t white = distances & 0xFFFFu;
    const uint32_t warm = distances >> 16;
    const bool white_leads = white >= warm;
    const uint32_t lead_bit = white_leads ? white_bit : warm_bit;
    const uint32_t e = white_leads ? warm : white;
    const uint32_t m = white_leads ? white : warm;
    if (new_scales) {
        fade.share = share_of(e, m);
        fade.one_bit = static_cast<uint8_t>(lead_bit);
    }
    if (e == m) {
        return m != 0 ? both_bits : 0u;
    }
    if (e == 0) {
        fade.plan_down = static_cast<uint8_t>(fade.plan_down & ~plan_same_way);
        return lead_bit;
    }
    return lead_bit | behind_plan(e, m, lead_bit ^ both_bits);
}

// The plan for the present outputs and targets, with new_scales on new scales
// (plan_at). False, with nothing changed, when the outputs have arrived.
[[gnu::noinline]] bool make_plan(bool new_scales) {
    const light_ctrl_handle_t &h = light_ctrl_handle;
    // The errors are kept wider than 16 bits so that distances above 32767
    // (only from restored values above 182) still move towards the target.
    const int32_t error_white =
        static_cast<int32_t>(h.target_val.white) - static_cast<int32_t>(h.current_val.white);
    const int32_t error_warm =
        static_cast<int32_t>(h.target_val.warm) - static_cast<int32_t>(h.current_val.warm);
    if (error_white == 0 && error_warm == 0) {
        return false;
    }
    const uint32_t white_abs = magnitude(error_white);
    const uint32_t warm_abs = magnitude(error_warm);
    uint32_t down = (error_white < 0 ? white_bit : 0u) | (error_warm < 0 ? warm_bit : 0u);
    if (error_white != 0 && error_warm != 0 && (error_white ^ error_warm) >= 0) {
        down |= plan_same_way;
    }
    fade.plan_down = static_cast<uint8_t>(down);
    const uint32_t distances = white_abs | warm_abs << 16;
    fade.plan_steps = static_cast<uint8_t>(plan_at(distances, new_scales));
    fade.plan_distances = distances;
    fade.plan_outputs = packed(h.current_val);
    return true;
}

// The plan a tick takes when it has none: on the first tick the one made when
// the fade started, if nothing dropped it, else a new one (with new scales on
// the first tick). False, with the tick stopped, when the outputs have
// arrived; such a first tick leaves first_change set and the scales as they
// are.
[[gnu::noinline]] bool take_plan() {
    light_ctrl_handle_t &h = light_ctrl_handle;
    if (fade.plan_steps == 0 && !make_plan(h.first_change)) {
        _light_ctrl_gradually_stop();
        _light_ctrl_fade_arrived();
        return false;
    }
    fade.plan_steps = static_cast<uint8_t>(fade.plan_steps | plan_taken);
    h.first_change = false;
    return true;
}

// The margin plan of channel behind_bit after this tick's steps, from its
// margin carried past the behind channel's step: carried past the leading
// one's here.
uint32_t margin_plan(uint32_t behind_bit, uint32_t steps, int32_t margin) {
    fade_state_t &f = fade;
    const uint32_t lead_bit = behind_bit ^ both_bits;
    if ((steps & lead_bit) != 0) {
        margin = fade_step::carry_lead(margin, f.share);
    }
    f.margin = margin;
    return plan_taken | (behind_bit << margin_shift) | lead_bit | (margin < 0 ? behind_bit : 0u);
}

// The distance of the channel behind_bit, of the distances (packed).
uint32_t distance_of(uint32_t behind_bit, uint32_t distances) {
    return behind_bit == white_bit ? distances & 0xFFFFu : distances >> 16;
}

// The margin plan of channel behind_bit past this tick's steps, from the
// distances after it: the margin carried. False, with nothing changed, where
// it cannot be carried (the tick then plans anew).
bool carry_margin(uint32_t behind_bit, uint32_t steps, uint32_t distances) {
    fade_state_t &f = fade;
    int32_t margin = f.margin;
    if ((steps & behind_bit) != 0 &&
        !fade_step::carry_behind(margin, distance_of(behind_bit, distances) + 1u, f.share)) {
        return false;
    }
    f.plan_steps = static_cast<uint8_t>(margin_plan(behind_bit, steps, margin));
    return true;
}

// The next tick's plan, taken, where this tick's does not hold, from the
// distances after its steps: the plan the next tick would make from the
// outputs and targets, as nothing else moves them before it (whatever does
// drops the plan). None (0) when both channels have arrived: the next tick
// then stops. Apart from the tick, which keeps its common path's values in
// registers.
[[gnu::noinline]] uint32_t replan(uint32_t distances) {
    const uint32_t next = plan_at(distances, false);
    return next != 0 ? next | plan_taken : 0u;
}

} // namespace

// The fade's plan is made here, when it starts, so that its first tick only
// takes it.
void _light_ctrl_gradually_start(uint32_t time_us) {
    timer14_start(time_us);
    light_ctrl_handle.first_change = true;
    fade.plan_steps = 0;
    make_plan(true);
}

void _light_ctrl_gradually_stop(void) {
    timer14_stop();
}

uint32_t _light_ctrl_gradual_period_us(void) {
    return light::quotient(static_cast<uint32_t>(1000u * light_cfg_data.gradual_time),
                           CTRL_CAL_VALUE_RANGE);
}

void light_ctrl_gradually_timer_handler(void) {
    light_ctrl_handle_t &h = light_ctrl_handle;
    fade_state_t &f = fade;
    if ((f.plan_steps & plan_taken) == 0 && !take_plan()) {
        return;
    }
    uint32_t outputs = f.plan_outputs;
    const uint32_t plan = f.plan_steps;
    uint32_t steps = plan & both_bits;
    // Cold/warm mixing with both channels moving the same way: one channel
    // per tick, so the total light changes by at most step_gain. The channel
    // whose turn it is holds, and hands the turn over when it had a step to
    // take. That is the accumulator form with one-unit steps: there the held
    // channel's step (0 or 1) is added to its accumulator, which is cleared
    // and hands the turn over once it reaches step_gain (1). An accumulator so
    // goes from 0 to 1 and back to 0 within the tick, or stays 0; it never
    // holds anything between ticks or fades, so none is kept, and the turn
    // changes exactly when the held channel's step is 1.
    const uint32_t down = f.plan_down;
    if ((down & plan_same_way) != 0 && light_cfg_data.bright_mode == BRIGHT_MODE_CW) {
        const uint32_t held = f.cw_refresh_flag ? white_bit : warm_bit;
        if ((steps & held) != 0) {
            f.cw_refresh_flag = !f.cw_refresh_flag;
            steps ^= held;
        }
    }
    const uint32_t moved = units[steps];
    outputs += moved - ((moved & units[down & both_bits]) << 1);
    f.plan_outputs = outputs;
    const uint32_t distances = f.plan_distances - moved;
    f.plan_distances = distances;
    // The plan holds for the next tick while the channels are as they were:
    // level ones both moved and not arrived, others not level (so not both
    // arrived), and a margin carried. Else this tick makes the next one's.
    bool holds;
    if ((plan & plan_margin) != 0) {
        holds = (distances & 0xFFFFu) != (distances >> 16) &&
                carry_margin((plan >> margin_shift) & both_bits, steps, distances);
    } else if ((plan & (plan_once | both_bits)) == both_bits) {
        holds = steps == both_bits && distances != 0;
    } else {
        holds = (plan & plan_once) == 0 && (distances & 0xFFFFu) != (distances >> 16);
    }
    if (!holds) {
        f.plan_steps = static_cast<uint8_t>(replan(distances));
    }
    // Read back, not kept across replan (which leaves them): the common path
    // then keeps them in a register.
    outputs = f.plan_outputs;
    const uint16_t white = static_cast<uint16_t>(outputs);
    const uint16_t warm = static_cast<uint16_t>(outputs >> 16);
    h.current_val.white = white;
    h.current_val.warm = warm;
    light_set_cw(white, warm);
}

void _light_ctrl_fade_arrived(void) {
    if (light_cfg_data.bright_mode == BRIGHT_MODE_CCT && !light_ctrl_data.switch_status) {
        _light_ctrl_timer_arm(&cct_delay_shut_down_timer, _light_ctrl_cct_shut_down_time_callback,
                              cct_shut_down_delay_ms);
    }
}

void _light_ctrl_cct_shut_down_time_callback(void *param) {
    (void)param;
    if (light_ctrl_data.switch_status) {
        return;
    }
    light_ctrl_handle.current_val.white = 0;
    light_ctrl_handle.current_val.warm = 0;
    fade.plan_steps = 0;
    light_set_cw(0, 0);
}

void light_ctrl_fade_set_refresh_flag(bool value) {
    fade.cw_refresh_flag = value;
    fade.plan_steps = 0; // fade_step::carry_behind counts on the turn passing as the tick passes it
}

void _light_fade_reset(void) {
    fade = {};
    cct_delay_shut_down_timer = {};
}
