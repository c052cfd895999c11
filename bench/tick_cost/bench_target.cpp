// A board of stubs, for running the module's fade tick in an instruction-set
// simulator (tick_cost.py): PWM writes and timer 14 only set variables, the
// flash refuses everything.
#include "light_ctrl.h"

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
void flash_read(uint32_t offset, void *buf, uint32_t len) {
    (void)offset;
    auto *out = static_cast<uint8_t *>(buf);
    for (uint32_t i = 0; i < len; ++i) {
        out[i] = 0xFF;
    }
}
uint8_t flash_program(uint32_t offset, const void *buf, uint32_t len) {
    (void)offset;
    (void)buf;
    (void)len;
    return 1;
}
uint8_t flash_erase_sector(uint32_t offset) {
    (void)offset;
    return 1;
}

} // extern "C"
