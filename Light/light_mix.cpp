// Brightness and temperature percentages to channel values and back, and the
// write of a channel pair to the PWM outputs.
#include "light_ctrl_private.h"
#include "light_quotient.h"

#include "pwm.h"

namespace {

// Channel value of a percentage: percent * 18000 / 100 in single precision is
// exact at both steps (percent * 18000 < 2^24, and the quotient 180 * percent
// is a float), so it is 180 * percent, below 65536 for a byte.
constexpr uint32_t channel_per_percent = 180u;

// Cold/warm mixing's white channel for brightness b (1..255) and temperature t
// (0..255), before the 16-bit wrap: trunc(float(180 b) * ratio) with ratio =
// float(180 t) / 18000, which is t / 100 rounded to single precision.
//
// The exact product is X = 180 b t / 100 = 9 p / 5 with p = b t, below 2^17.
// - 5 does not divide p: X is at least 1/5 from an integer, while the ratio's
//   rounding (relative 2^-24, under 2^-7 here) and the product's (half a step,
//   at most 2^-8) move it by less than 0.02: the result is floor(X).
// - 5 divides p: X is an integer (0 for t = 0); the result is X unless the
//   product falls short of X and rounds to a float below it, giving X - 1.
//   Double t until it lies in [200, 400): T = t 2^n, t / 100 = (T / 200) 2^-n,
//   whose 24-bit significand is T 2^23 / 200 = 41943 T + T / 25, as 2^20 =
//   25 * 41943 + 1. With u = T mod 25 the ratio is rounded up when u >= 13 and
//   exact when u = 0 (the result is X), and rounded down by u / 25 of its last
//   place when u <= 12: by 16 u / T * 2^-24 of its value, so the product falls
//   short of X by that fraction of X. Floats just below X are 2^(k-23) apart,
//   2^k the highest power of two strictly below X; the product rounds down off
//   X exactly when it falls short by more than half that step:
//   X * 16 u / T * 2^-24 > 2^(k-24), that is 16 u X > T 2^k. A tie would need
//   144 b u = 5 * 2^(n+k), which 9 rules out.
uint32_t cw_white(uint32_t b, uint32_t t) {
    const uint32_t p = b * t;                             // at most 65025
    const uint32_t fifth_up = ((p + 4u) * 52429u) >> 18u; // ceil(p / 5): 52429 * 5 = 2^18 + 1
    uint32_t x = 2u * p - fifth_up;                       // floor(9 p / 5) = 2 p - ceil(p / 5)
    if (5u * fifth_up == p && p != 0u) {
        uint32_t T = t;
        while (T < 200u) {
            T <<= 1u;
        }
        const uint32_t u = T - 25u * ((T * 41u) >> 10u); // T mod 25: 41 * 25 = 2^10 + 1
        uint32_t below = 1; // 2^k, the highest power of two below x (x >= 9 here)
        while (2u * below < x) {
            below <<= 1u;
        }
        if (u <= 12u && 16u * u * x > T * below) {
            x -= 1u;
        }
    }
    return x;
}

// Brightness or temperature percent of a channel value (or of the sum of two):
// 100 * v / 18000 = v / 180 = (v / 4) / 45, and (w * 11651) >> 19 is w / 45 for
// every w below 74898 (11651 * 45 = 2^19 + 7); v / 4 stays below 32768.
uint16_t channel_to_percent(uint32_t v) {
    return static_cast<uint16_t>(((v >> 2u) * 11651u) >> 19u);
}

} // namespace

void _light_ctrl_data_calculate_cw(uint8_t bright, uint8_t temperatue, bright_data_t *result) {
    const uint32_t b = bright != 0u ? bright : 1u; // a lit lamp mixes at least 1 % of full scale
    const uint16_t bright_temp = static_cast<uint16_t>(channel_per_percent * b);
    if (light_cfg_data.bright_mode == BRIGHT_MODE_CW) {
        // Only inputs above 100 exceed 65535 here; they wrap in 16 bits.
        result->white = static_cast<uint16_t>(cw_white(b, temperatue));
        result->warm = static_cast<uint16_t>(bright_temp - result->white);
        if (result->white > CTRL_CAL_VALUE_RANGE) {
            result->white = CTRL_CAL_VALUE_RANGE;
        }
        if (result->warm > CTRL_CAL_VALUE_RANGE) {
            result->warm = CTRL_CAL_VALUE_RANGE;
        }
    } else if (light_cfg_data.bright_mode == BRIGHT_MODE_CCT) {
        result->white = bright_temp;
        result->warm = static_cast<uint16_t>(channel_per_percent * temperatue);
    }
}

// The reverse conversions used to divide signed 32-bit values; the operands
// come from 16-bit channel values, are never negative and stay below 2^31 (100
// times a sum of two is at most 13,107,000), and for such operands signed and
// unsigned division truncate alike.
uint16_t _light_ctrl_data_calculate_brightness(bright_data_t curr_val) {
    switch (light_cfg_data.bright_mode) {
    case BRIGHT_MODE_CW:
        return channel_to_percent(static_cast<uint32_t>(curr_val.white) + curr_val.warm);
    case BRIGHT_MODE_CCT:
        return channel_to_percent(curr_val.white);
    default:
        return 0;
    }
}

uint16_t _light_ctrl_data_calculate_temperature(bright_data_t curr_val) {
    const uint32_t white = curr_val.white;
    const uint32_t warm = curr_val.warm;
    switch (light_cfg_data.bright_mode) {
    case BRIGHT_MODE_CW:
        return static_cast<uint16_t>(light::quotient(100u * white, white + warm));
    case BRIGHT_MODE_CCT:
        return channel_to_percent(warm);
    default:
        return 0;
    }
}

light_result_t light_set_cw(uint16_t white, uint16_t warm) {
    pwm_set_duty(0, white);
    pwm_set_duty(1, warm);
    return LIGHT_OK;
}
