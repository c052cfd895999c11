// Brightness and temperature percentages to channel values and back, and the
// write of a channel pair to the PWM outputs.
#include "light_ctrl_private.h"

#include "pwm.h"

namespace {

// percent * 18000 / 100, each step rounded to single precision, truncated. Inputs
// are at most 255, so the value stays below 65536 and positive.
uint16_t percent_to_channel(uint8_t percent) {
    const float scaled = static_cast<float>(percent) * 18000.0f;
    const float value = scaled / 100.0f;
    return static_cast<uint16_t>(static_cast<uint32_t>(value));
}

} // namespace

void _light_ctrl_data_calculate_cw(uint8_t bright, uint8_t temperatue, bright_data_t *result) {
    uint16_t bright_temp = percent_to_channel(bright);
    const uint16_t temper_temp = percent_to_channel(temperatue);
    if (static_cast<double>(bright_temp) < CTRL_CW_BRIGHT_VALUE_MIN) {
        bright_temp = 180; // a lit lamp mixes at least 1 % of full scale
    }
    if (light_cfg_data.bright_mode == BRIGHT_MODE_CW) {
        const float ratio = static_cast<float>(temper_temp) / 18000.0f;
        const float white = static_cast<float>(bright_temp) * ratio;
        // Only inputs above 100 exceed 65535 here; they wrap in 16 bits.
        result->white = static_cast<uint16_t>(static_cast<uint32_t>(white));
        result->warm = static_cast<uint16_t>(bright_temp - result->white);
        if (result->white > CTRL_CAL_VALUE_RANGE) {
            result->white = CTRL_CAL_VALUE_RANGE;
        }
        if (result->warm > CTRL_CAL_VALUE_RANGE) {
            result->warm = CTRL_CAL_VALUE_RANGE;
        }
    } else if (light_cfg_data.bright_mode == BRIGHT_MODE_CCT) {
        result->white = bright_temp;
        result->warm = temper_temp;
    }
}

uint16_t _light_ctrl_data_calculate_brightness(bright_data_t curr_val) {
    const int32_t white = curr_val.white;
    const int32_t warm = curr_val.warm;
    switch (light_cfg_data.bright_mode) {
    case BRIGHT_MODE_CW:
        return static_cast<uint16_t>(100 * (white + warm) / 18000);
    case BRIGHT_MODE_CCT:
        return static_cast<uint16_t>(100 * white / 18000);
    default:
        return 0;
    }
}

uint16_t _light_ctrl_data_calculate_temperature(bright_data_t curr_val) {
    const int32_t white = curr_val.white;
    const int32_t warm = curr_val.warm;
    switch (light_cfg_data.bright_mode) {
    case BRIGHT_MODE_CW:
        return static_cast<uint16_t>(100 * white / (white + warm));
    case BRIGHT_MODE_CCT:
        return static_cast<uint16_t>(100 * warm / 18000);
    default:
        return 0;
    }
}

light_result_t light_set_cw(uint16_t white, uint16_t warm) {
    pwm_set_duty(0, white);
    pwm_set_duty(1, warm);
    return LIGHT_OK;
}
