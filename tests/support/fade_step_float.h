#ifndef TESTS_SUPPORT_FADE_STEP_FLOAT_H
#define TESTS_SUPPORT_FADE_STEP_FLOAT_H
// Arithmetic of one fade step in single-precision float: the readable
// reference. The tick runs its integer form (Light/fade_step/fade_step.h); the
// host tests and bench/fade_exhaustive compare the two.
#include <stdint.h>
#include <string.h>

namespace fade_step_float {

// A float's bit pattern and back, for comparing scales bit for bit.
inline uint32_t bits_of(float f) {
    uint32_t b;
    memcpy(&b, &f, sizeof b);
    return b;
}
inline float float_of(uint32_t b) {
    float f;
    memcpy(&f, &b, sizeof f);
    return f;
}

// Share of a channel's distance in the larger one: a double division of the two
// values, stored in single precision.
inline float scale(uint16_t error_abs, uint16_t max_error) {
    const double num = static_cast<double>(static_cast<float>(error_abs));
    const double den = static_cast<double>(static_cast<float>(max_error));
    return static_cast<float>(num / den);
}

// How far a channel moves on this tick, at most step_gain. The dominant channel
// always takes step_gain; the other moves once its remaining distance exceeds
// its share of the dominant one's remaining distance after this tick.
inline uint16_t step(uint16_t error_abs, uint16_t max_error, float channel_scale,
                     uint16_t step_gain) {
    if (max_error == error_abs) {
        return step_gain;
    }
    const float t1 = static_cast<float>(step_gain) * channel_scale;
    const float t2 = static_cast<float>(max_error) * channel_scale;
    const float t3 = static_cast<float>(error_abs) - t2;
    const float t4 = t3 + t1;
    // With a scale that no longer fits the distances (a channel that led and
    // now trails keeps the scale 1.0) t4 can fall to -1 or below: a step of 0,
    // as the M0's float conversion gives it.
    const uint16_t delta = t4 > 0.0f ? static_cast<uint16_t>(static_cast<uint32_t>(t4)) : 0u;
    return delta < step_gain ? delta : step_gain;
}

} // namespace fade_step_float

#endif
