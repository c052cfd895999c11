// The fades whose ticks tick_cost.py measures, for every image it runs: the
// bench images (a board of stubs) and the image on the real board.
#include "light_ctrl.h"
#include "light_ctrl_hooks.h"
#include "light_ctrl_private.h"

#include <stdint.h>

extern "C" {

// Every case starts from the power-on state (bench_setup) and then starts its
// fade (bench_start, measured on its own):
//  0: (a) switch-on at full brightness, temperature 50 %, brightness/temperature
//     mode: (0, 9000) -> (18000, 9000) through light_ctrl_process
//  1: (b) cold/warm mixing (0, 0) -> (2700, 6300)
//  2: (c) cold/warm mixing (2700, 6300) -> (6300, 2700), opposite directions
//  3: (d) brightness/temperature mode (0, 0) -> (9000, 5400)
void bench_setup(uint32_t which) {
    light_ctrl_power_on_reset();
    light_ctrl_data.switch_status = true;
    if (which == 0) {
        light_ctrl_data.bright = 100;
        light_ctrl_data.temper = 50;
        return;
    }
    light_ctrl_handle_t &h = light_ctrl_handle;
    if (which == 3) {
        h.current_val = {0, 0};
        h.target_val = {9000, 5400};
    } else {
        light_cfg_data.bright_mode = BRIGHT_MODE_CW;
        h.current_val = which == 1 ? bright_data_t{0, 0} : bright_data_t{2700, 6300};
        h.target_val = which == 1 ? bright_data_t{2700, 6300} : bright_data_t{6300, 2700};
    }
}

// The board image only: a blink from dark in cold/warm mixing at 50 % and
// 30 %, a 1000 ms period. Its first toggle, at the 1000th millisecond, starts
// case (b)'s fade, (0, 0) -> (2700, 6300), from inside the millisecond
// interrupt.
void bench_blink(void) {
    light_ctrl_power_on_reset();
    light_ctrl_data.switch_status = true;
    light_cfg_data.bright_mode = BRIGHT_MODE_CW;
    light_ctrl_data.bright = 50;
    light_ctrl_data.temper = 30;
    light_ctrl_blink_start(WITH_START, 1, 1000);
}

void bench_start(uint32_t which) {
    if (which == 0) {
        light_ctrl_process(SWITCH_GRADUAL);
    } else {
        _light_ctrl_gradually_start(_light_ctrl_gradual_period_us());
    }
}

} // extern "C"
