// Step-and-hold adjustment: a single command steps brightness along the level
// table or temperature by a brightness-dependent step; repeats within the
// 300 ms window ramp to the limit, and the window's expiry freezes the ramp and
// adopts what the outputs show.
#include "light_ctrl_private.h"

#include "timer.h"

#include <array>

namespace {

const uint8_t light_bright_table[BRIGHT_LEVEL_MAX + 1] = {1,  6,  14, 21, 29, 38,
                                                          48, 59, 71, 85, 100};
// A temperature step at each brightness level: the whole scale over
// (level + 1), half of it at level 0. A table, so that the chip divides
// nothing.
constexpr uint32_t temper_scale = CTRL_TEMPER_LIMIT_MAX - CTRL_TEMPER_LIMIT_MIN;
constexpr std::array<uint8_t, BRIGHT_LEVEL_MAX + 1> temper_steps = [] {
    std::array<uint8_t, BRIGHT_LEVEL_MAX + 1> steps{};
    for (uint32_t level = 0; level <= BRIGHT_LEVEL_MAX; ++level) {
        steps[level] = static_cast<uint8_t>(temper_scale / (level == 0 ? 2u : level + 1u));
    }
    return steps;
}();
constexpr uint32_t adjust_save_delay_ms = 3000; // after the window closes
timer_event_t adjusted_timer = {};

uint8_t level_index(uint16_t bright) {
    for (uint8_t i = BRIGHT_LEVEL_MIN; i <= BRIGHT_LEVEL_MAX; ++i) {
        if (light_bright_table[i] >= bright) {
            return i;
        }
    }
    return BRIGHT_LEVEL_MIN; // above the table: only from a restored record
}

// One command of a kind (BRIGHT_INC .. TEMPER_DEC). The four kinds differ
// only in the value they move, its direction and limit, and where one step
// takes it. A repeat of the kind whose window is open holds: the value goes to
// its limit (LIGHT_ERROR, nothing set, if it is there or beyond already). Any
// other command opens a window of its own kind and takes one step.
light_result_t adjust(light_ctrl_data_t &d, light_adjusted_mode_t mode) {
    const bool up = mode == BRIGHT_INC || mode == TEMPER_INC;
    const bool bright = mode == BRIGHT_INC || mode == BRIGHT_DEC;
    const uint32_t level = level_index(d.bright);
    const uint32_t now = bright ? d.bright : d.temper;
    uint32_t limit = up ? CTRL_BRIGHT_LIMIT_MAX : CTRL_TEMPER_LIMIT_MIN;
    uint32_t next = 0;
    if (bright) {
        uint32_t to = up ? level + 1u : level - 1u;
        if (to > BRIGHT_LEVEL_MAX) {
            to = level; // at the table's end already
        }
        next = light_bright_table[to];
        if (!up) {
            limit = CTRL_BRIGHT_LIMIT_MIN;
        }
    } else if (up) {
        // Sums wrap in 16 bits, so a restored temperature above the limit steps to it.
        next = static_cast<uint16_t>(now + temper_steps[level]);
        next = next > limit ? limit : next;
    } else {
        next = now > temper_steps[level] ? now - temper_steps[level] : limit;
    }
    light_result_t result = LIGHT_OK;
    if ((d.adjusted_mode & ADJUST_MODE_MASK) == mode) {
        d.adjusted_mode = static_cast<uint8_t>(d.adjusted_mode | ADJUST_HOLD_FLAG);
        next = limit;
        if (up ? now >= limit : now <= limit) {
            next = now;
            result = LIGHT_ERROR;
        }
    } else {
        d.adjusted_mode = mode;
    }
    if (bright) {
        d.bright = static_cast<uint16_t>(next);
    } else {
        d.temper = static_cast<uint16_t>(next);
    }
    return result;
}

} // namespace

light_result_t light_ctrl_data_adjusted(light_adjusted_mode_t mode) {
    light_ctrl_data_t &d = light_ctrl_data;
    if (!d.switch_status) {
        return LIGHT_FAIL;
    }
    light_result_t result = LIGHT_ERROR; // nothing to adjust
    if (static_cast<uint8_t>(mode - BRIGHT_INC) <= TEMPER_DEC - BRIGHT_INC) {
        result = adjust(d, mode);
    }
    // The window (re)opens: a pending run is restarted.
    _light_ctrl_timer_arm(&adjusted_timer, _light_ctrl_data_adjusted_timer_callback, ADJUST_TIME);
    return result;
}

void _light_ctrl_data_adjusted_timer_callback(void *param) {
    (void)param;
    light_ctrl_data_t &d = light_ctrl_data;
    // The hold flag is only ever set together with one of the four kinds.
    const uint32_t kind = d.adjusted_mode & ADJUST_MODE_MASK;
    if ((d.adjusted_mode & ADJUST_HOLD_FLAG) != 0 && kind - BRIGHT_INC <= TEMPER_DEC - BRIGHT_INC) {
        const bright_data_t &shown = light_ctrl_handle.current_val;
        _light_ctrl_gradually_stop();
        if (kind <= BRIGHT_DEC) {
            d.bright = _light_ctrl_data_calculate_brightness(shown);
        } else if (light_cfg_data.bright_mode != BRIGHT_MODE_CW || shown.white != 0 ||
                   shown.warm != 0) {
            // Dark outputs carry no colour: in cold/warm mixing (0, 0) keeps the
            // temperature it had instead of dividing by zero.
            d.temper = _light_ctrl_data_calculate_temperature(shown);
        }
    }
    d.adjusted_mode = 0;
    light_ctrl_data_auto_save_start(adjust_save_delay_ms);
}

void _light_adjust_reset(void) {
    adjusted_timer = {};
}
