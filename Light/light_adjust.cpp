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

} // namespace

light_result_t light_ctrl_data_adjusted(light_adjusted_mode_t mode) {
    light_ctrl_data_t &d = light_ctrl_data;
    if (!d.switch_status) {
        return LIGHT_FAIL;
    }
    const uint8_t level = level_index(d.bright);
    uint16_t step = temper_steps[level];

    timer_stop(&adjusted_timer);
    timer_init(&adjusted_timer, _light_ctrl_data_adjusted_timer_callback);
    timer_set_value(&adjusted_timer, ADJUST_TIME);

    // The four kinds differ only in the value they move, its direction and
    // limit, and where one step takes it. Compares, not a switch: GCC makes a
    // dense switch a jump table through a helper of the runtime library.
    uint16_t *value = &d.bright;
    bool up = true;
    uint16_t limit = CTRL_BRIGHT_LIMIT_MAX;
    uint16_t stepped = 0;
    if (mode == BRIGHT_INC) {
        stepped = light_bright_table[level < BRIGHT_LEVEL_MAX ? level + 1 : level];
    } else if (mode == BRIGHT_DEC) {
        up = false;
        limit = CTRL_BRIGHT_LIMIT_MIN;
        stepped = light_bright_table[level > BRIGHT_LEVEL_MIN ? level - 1 : level];
    } else if (mode == TEMPER_INC) {
        value = &d.temper;
        limit = CTRL_TEMPER_LIMIT_MAX;
        // Sums wrap in 16 bits, so a restored temperature above the limit steps to it.
        if (static_cast<uint16_t>(d.temper + step) > CTRL_TEMPER_LIMIT_MAX) {
            step = static_cast<uint16_t>(CTRL_TEMPER_LIMIT_MAX - d.temper);
        }
        stepped = static_cast<uint16_t>(d.temper + step);
    } else if (mode == TEMPER_DEC) {
        value = &d.temper;
        up = false;
        limit = CTRL_TEMPER_LIMIT_MIN;
        if (step > d.temper) {
            step = d.temper;
        }
        stepped = static_cast<uint16_t>(d.temper - step);
    } else {
        timer_start(&adjusted_timer);
        return LIGHT_ERROR; // nothing to adjust
    }

    // A repeat of the kind whose window is open holds: the value goes to its
    // limit (nothing set if it is there or beyond already). Any other command
    // opens a window of its own kind and takes one step.
    light_result_t result = LIGHT_OK;
    if ((d.adjusted_mode & ADJUST_MODE_MASK) == mode) {
        d.adjusted_mode = static_cast<uint8_t>(d.adjusted_mode | ADJUST_HOLD_FLAG);
        if (up ? *value < limit : *value > limit) {
            *value = limit;
        } else {
            result = LIGHT_ERROR;
        }
    } else {
        d.adjusted_mode = mode;
        *value = stepped;
    }
    timer_start(&adjusted_timer);
    return result;
}

void _light_ctrl_data_adjusted_timer_callback(void *param) {
    (void)param;
    light_ctrl_data_t &d = light_ctrl_data;
    if ((d.adjusted_mode & ADJUST_HOLD_FLAG) != 0) {
        const bright_data_t &shown = light_ctrl_handle.current_val;
        // The hold flag is only ever set together with one of the four kinds.
        switch (d.adjusted_mode & ADJUST_MODE_MASK) {
        case BRIGHT_INC:
        case BRIGHT_DEC:
            _light_ctrl_gradually_stop();
            d.bright = _light_ctrl_data_calculate_brightness(shown);
            break;
        case TEMPER_INC:
        case TEMPER_DEC:
            _light_ctrl_gradually_stop();
            // Dark outputs carry no colour: in cold/warm mixing (0, 0) keeps the
            // temperature it had instead of dividing by zero.
            if (light_cfg_data.bright_mode != BRIGHT_MODE_CW || shown.white != 0 ||
                shown.warm != 0) {
                d.temper = _light_ctrl_data_calculate_temperature(shown);
            }
            break;
        }
    }
    d.adjusted_mode = 0;
    light_ctrl_data_auto_save_start(adjust_save_delay_ms);
}

void _light_adjust_reset(void) {
    adjusted_timer = {};
}
