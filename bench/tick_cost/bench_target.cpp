// The module with a board of stubs, for running its fade tick in an
// instruction-set simulator (tick_cost.py): PWM writes and timer 14 only set
// variables, the flash refuses everything.
#include "light_ctrl.h"
#include "light_ctrl_hooks.h"
#include "light_ctrl_private.h"

#include <stdint.h>

extern "C" {

volatile uint32_t bench_timer14_running = 0;
volatile uint32_t bench_timer14_period_us = 0;
volatile uint16_t bench_pwm[2] = {0, 0};

void timer14_start(uint32_t period_us) {
    bench_timer14_running = 1;
    bench_timer14_period_us = period_us;
}
void timer14_stop(void) {
    bench_timer14_running = 0;
}
void pwm_set_duty(uint8_t channel, uint16_t duty) {
    if (channel < 2) {
        bench_pwm[channel] = duty;
    }
}
void flash_read(uint32_t addr, void *buf, uint32_t len) {
    (void)addr;
    auto *out = static_cast<uint8_t *>(buf);
    for (uint32_t i = 0; i < len; ++i) {
        out[i] = 0xFF;
    }
}
uint8_t flash_program(uint32_t addr, const void *buf, uint32_t len) {
    (void)addr;
    (void)buf;
    (void)len;
    return 1;
}
uint8_t flash_erase_sector(uint32_t sector_addr) {
    (void)sector_addr;
    return 1;
}

// The three fades measured; every case starts from the power-on state.
//  0: switch-on at full brightness, temperature 50 %, brightness/temperature
//     mode: (0, 9000) -> (18000, 9000) through light_ctrl_process
//  1: cold/warm mixing (0, 0) -> (2700, 6300)
//  2: cold/warm mixing (2700, 6300) -> (6300, 2700), opposite directions
void bench_setup(uint32_t which) {
    light_ctrl_power_on_reset();
    if (which == 0) {
        light_ctrl_data.switch_status = true;
        light_ctrl_data.bright = 100;
        light_ctrl_data.temper = 50;
        light_ctrl_process(SWITCH_GRADUAL);
        return;
    }
    light_cfg_data.bright_mode = BRIGHT_MODE_CW;
    light_ctrl_data.switch_status = true;
    if (which == 1) {
        light_ctrl_handle.current_val = {0, 0};
        light_ctrl_handle.target_val = {2700, 6300};
    } else {
        light_ctrl_handle.current_val = {2700, 6300};
        light_ctrl_handle.target_val = {6300, 2700};
    }
    _light_ctrl_gradually_start(_light_ctrl_gradual_period_us());
}

} // extern "C"
