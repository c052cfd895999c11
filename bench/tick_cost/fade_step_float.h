#ifndef LIGHT_FADE_STEP_H
#define LIGHT_FADE_STEP_H
// The fade step as first written, in single-precision float: kept so the tick
// cost of the float arithmetic can be measured against the current one. Same
// include guard as Light/fade_step.h, so it takes that header's place.
#include <stdint.h>

namespace fade_step {

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
    // t4 stays above -1 for every distance up to 65535 (the scale was taken from
    // the same fade's distances), so the truncation to unsigned is defined.
    const uint16_t delta = static_cast<uint16_t>(static_cast<uint32_t>(t4));
    return delta < step_gain ? delta : step_gain;
}

} // namespace fade_step

#endif
