#pragma once
// One fade tick as the float steps say it, the readable reference of the whole
// tick: the scales on a fade's first tick, each channel's step
// (fade_step_float.h), the cold/warm alternation with its two accumulators, the
// moves. The module's tick (Light/light_fade.cpp) works from a plan and the
// integer step; the host tests compare the two tick by tick.
#include "fade_step_float.h"
#include "light_ctrl.h"

#include <stdint.h>

namespace fade_tick_float {

struct fade {
    bright_data_t target = {0, 0};
    bright_data_t current = {0, 0};
    bool first_change = false;
    bool running = false;
    float scale_white = 0.0f;
    float scale_warm = 0.0f;
    uint16_t step_white_temp = 0;
    uint16_t step_warm_temp = 0;
    bool cw_refresh_flag = false;

    void start() {
        running = true;
        first_change = true;
    }

    // One tick in the given mixing mode; false when it found the outputs
    // arrived and stopped (nothing written).
    bool tick(bright_mode_t mode) {
        const uint16_t step_gain = 1;
        uint16_t step_white = 0;
        uint16_t step_warm = 0;
        // Wider than the 16-bit errors so that distances above 32767 move on,
        // as the module's do.
        const int32_t error_white = static_cast<int32_t>(target.white) - current.white;
        const int32_t error_warm = static_cast<int32_t>(target.warm) - current.warm;
        if (error_white == 0 && error_warm == 0) {
            running = false;
            return false;
        }
        const uint16_t error_white_abs =
            static_cast<uint16_t>(error_white < 0 ? -error_white : error_white);
        const uint16_t error_warm_abs =
            static_cast<uint16_t>(error_warm < 0 ? -error_warm : error_warm);
        const uint16_t max_error =
            error_white_abs > error_warm_abs ? error_white_abs : error_warm_abs;
        if (first_change) {
            first_change = false;
            scale_white = fade_step_float::scale(error_white_abs, max_error);
            scale_warm = fade_step_float::scale(error_warm_abs, max_error);
        }
        step_white = fade_step_float::step(error_white_abs, max_error, scale_white, step_gain);
        step_warm = fade_step_float::step(error_warm_abs, max_error, scale_warm, step_gain);
        if (mode == BRIGHT_MODE_CW && error_white != 0 && error_warm != 0 &&
            (error_white < 0) == (error_warm < 0)) {
            if (cw_refresh_flag) {
                step_white_temp = static_cast<uint16_t>(step_white_temp + step_white);
                if (step_white_temp >= step_gain) {
                    step_white_temp = 0;
                    cw_refresh_flag = false;
                }
                step_white = 0;
            } else {
                step_warm_temp = static_cast<uint16_t>(step_warm_temp + step_warm);
                if (step_warm_temp >= step_gain) {
                    step_warm_temp = 0;
                    cw_refresh_flag = true;
                }
                step_warm = 0;
            }
        }
        current.white = move(current.white, error_white, error_white_abs, step_white);
        current.warm = move(current.warm, error_warm, error_warm_abs, step_warm);
        return true;
    }

  private:
    static uint16_t move(uint16_t value, int32_t error, uint16_t error_abs, uint16_t step) {
        if (error == 0) {
            return value;
        }
        if (error_abs < step) {
            return static_cast<uint16_t>(value + error);
        }
        return static_cast<uint16_t>(error < 0 ? value - step : value + step);
    }
};

} // namespace fade_tick_float
