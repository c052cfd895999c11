#ifndef LIGHT_FADE_STEP_INT_H
#define LIGHT_FADE_STEP_INT_H
// The fade step as first written, in single-precision float, under the names of
// Light/fade_step_int.h (same include guard, so it takes that header's place):
// kept so the tick cost of the float arithmetic can be measured against the
// integer one.
#include <stdint.h>

namespace fade_step_int {

typedef float scale_t;
constexpr float scale_one = 1.0f; // a distance divided by itself

// Share of a channel's distance in the larger one: a double division of the two
// values, stored in single precision.
inline float scale(uint32_t error_abs, uint32_t max_error) {
    const double num = static_cast<double>(static_cast<float>(error_abs));
    const double den = static_cast<double>(static_cast<float>(max_error));
    return static_cast<float>(num / den);
}

// How far the non-dominant channel moves on this tick, with step_gain 1.
inline uint32_t step(uint32_t error_abs, uint32_t max_error, float channel_scale) {
    const uint32_t step_gain = 1;
    const float t1 = static_cast<float>(step_gain) * channel_scale;
    const float t2 = static_cast<float>(max_error) * channel_scale;
    const float t3 = static_cast<float>(error_abs) - t2;
    const float t4 = t3 + t1;
    const uint32_t delta = t4 > 0.0f ? static_cast<uint16_t>(static_cast<uint32_t>(t4)) : 0u;
    return delta < step_gain ? delta : step_gain;
}

} // namespace fade_step_int

#endif
