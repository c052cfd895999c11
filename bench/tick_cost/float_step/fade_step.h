#ifndef BENCH_TICK_COST_FLOAT_STEP_FADE_STEP_H
#define BENCH_TICK_COST_FLOAT_STEP_FADE_STEP_H
// The fade step in single-precision float (the reference in
// tests/support/fade_step_float.h) under the names the tick uses: the tick-cost
// benchmark builds the module with this directory in place of
// Light/fade_step/, to measure the float arithmetic against the integer one.
#include "fade_step_float.h"

#include <stdint.h>

namespace fade_step {

typedef float scale_t;
constexpr float scale_one = 1.0f; // a distance divided by itself

inline float scale(uint32_t error_abs, uint32_t max_error) {
    return fade_step_float::scale(static_cast<uint16_t>(error_abs),
                                  static_cast<uint16_t>(max_error));
}

inline bool holds_back(uint32_t error_abs, float channel_scale) {
    return channel_scale != 0.0f && (error_abs < 2u || channel_scale == 1.0f);
}

// The step afresh on every tick: no margin is set, so none is carried.
constexpr uint32_t margin_set = 2;

inline uint32_t step(uint32_t error_abs, uint32_t max_error, float channel_scale, int32_t &) {
    return fade_step_float::step(static_cast<uint16_t>(error_abs), static_cast<uint16_t>(max_error),
                                 channel_scale, 1);
}

inline int32_t carry_lead(int32_t z, float) {
    return z;
}

inline bool carry_behind(int32_t &, uint32_t, float) {
    return false;
}

} // namespace fade_step

#endif
