// Blink: toggles the outputs between dark and the present state a number of
// times, each toggle a short fade, without touching switch, brightness or
// temperature.
#include "light_ctrl_private.h"

#include "timer.h"

namespace {

// A toggle's fade takes at most the period less this margin, so it ends before
// the next toggle.
constexpr uint32_t blink_margin_ms = 100;
constexpr uint32_t toggles_per_blink = 2; // to the other state and back
constexpr uint32_t us_per_ms = 1000;
timer_event_t blink_timer = {};

// x / 18 as (x * 58255) >> 20 for every x below 2^16, checked for each.
constexpr uint32_t eighteenth(uint32_t x) {
    return (x * 58255u) >> 20;
}
constexpr bool eighteenths_exact() {
    for (uint32_t x = 0; x < 1u << 16; ++x) {
        if (eighteenth(x) != x / 18u) {
            return false;
        }
    }
    return true;
}
static_assert(eighteenths_exact(), "x / 18 by a product below 2^16");

} // namespace

light_result_t light_ctrl_blink_start(blink_end_state_t end, uint8_t cnt, uint16_t blink_time_ms) {
    light_ctrl_data_t &d = light_ctrl_data;
    d.blink_cnt = static_cast<uint8_t>(toggles_per_blink * cnt);
    if ((end == WITH_ON && !d.switch_status) || (end == WITH_OFF && d.switch_status)) {
        d.blink_cnt = static_cast<uint8_t>(d.blink_cnt + 1u);
    }
    return static_cast<light_result_t>(
        _light_ctrl_timer_arm(&blink_timer, _light_ctrl_blink_timer_callback, blink_time_ms));
}

void _light_ctrl_blink_timer_callback(void *param) {
    (void)param;
    light_ctrl_handle_t &h = light_ctrl_handle;
    if (light_ctrl_data.blink_cnt == 0) {
        return;
    }
    if (h.current_val.white == 0 && h.current_val.warm == 0) {
        _light_ctrl_data_calculate_cw(static_cast<uint8_t>(light_ctrl_data.bright),
                                      static_cast<uint8_t>(light_ctrl_data.temper), &h.target_val);
    } else {
        h.target_val.white = 0;
        h.target_val.warm = 0;
    }
    light_ctrl_data.blink_cnt = static_cast<uint8_t>(light_ctrl_data.blink_cnt - 1u);

    // The tick (period - margin) * 1000 / 18000 us is (period - margin) / 18;
    // the period is a blink_time_ms, below 2^16.
    static_assert(CTRL_CAL_VALUE_RANGE == 18u * us_per_ms, "a toggle's tick in 18ths");
    const uint32_t period_ms = static_cast<uint16_t>(blink_timer.timestamp);
    const uint32_t tick_us =
        period_ms > blink_margin_ms ? eighteenth(period_ms - blink_margin_ms) : 0u;
    if (tick_us != 0) {
        _light_ctrl_gradually_start(tick_us);
    } else {
        // Too short a period for a fade (the period formula gives 0, or wraps
        // below the margin): show the toggle at once so a fast blink still blinks.
        _light_ctrl_gradually_stop();
        h.current_val.white = h.target_val.white;
        h.current_val.warm = h.target_val.warm;
        light_set_cw(h.current_val.white, h.current_val.warm);
        _light_ctrl_fade_arrived();
    }
    timer_start(&blink_timer);
}

void _light_blink_reset(void) {
    blink_timer = {};
}
