#pragma once
// The channel mixing in single-precision floating point, step for step as the
// module computed it before it moved to integers: the readable reference that
// _light_ctrl_data_calculate_cw must equal for every input. Header-only, so the
// host tests and the Cortex-M0 check image compile the same text (with
// -ffp-contract=off, every step rounds to single precision).
#include "light_ctrl.h"

#include <stdint.h>

namespace mix_float {

// percent * 18000 / 100, each step rounded to single precision, truncated.
inline uint16_t percent_to_channel(uint8_t percent) {
    const float scaled = static_cast<float>(percent) * 18000.0f;
    const float value = scaled / 100.0f;
    return static_cast<uint16_t>(static_cast<uint32_t>(value));
}

// Any mode other than the two mixing modes leaves `result` untouched.
inline void calculate_cw(bright_mode_t mode, uint8_t bright, uint8_t temperatue,
                         bright_data_t *result) {
    uint16_t bright_temp = percent_to_channel(bright);
    const uint16_t temper_temp = percent_to_channel(temperatue);
    if (static_cast<double>(bright_temp) < CTRL_CW_BRIGHT_VALUE_MIN) {
        bright_temp = 180;
    }
    if (mode == BRIGHT_MODE_CW) {
        const float ratio = static_cast<float>(temper_temp) / 18000.0f;
        const float white = static_cast<float>(bright_temp) * ratio;
        result->white = static_cast<uint16_t>(static_cast<uint32_t>(white));
        result->warm = static_cast<uint16_t>(bright_temp - result->white);
        if (result->white > CTRL_CAL_VALUE_RANGE) {
            result->white = CTRL_CAL_VALUE_RANGE;
        }
        if (result->warm > CTRL_CAL_VALUE_RANGE) {
            result->warm = CTRL_CAL_VALUE_RANGE;
        }
    } else if (mode == BRIGHT_MODE_CCT) {
        result->white = bright_temp;
        result->warm = temper_temp;
    }
}

} // namespace mix_float
