#include "board_listeners.h"

namespace board_listeners {

volatile uint16_t last_duty[ALLOW_CHANNEL_NUM];
board_pwm_listener_t pwm_listener = nullptr;
void *pwm_listener_ctx = nullptr;
board_timer14_listener_t tim14_listener = nullptr;
void *tim14_listener_ctx = nullptr;
board_timers_listener_t timers_listener = nullptr;
void *timers_listener_ctx = nullptr;

} // namespace board_listeners

using namespace board_listeners;

extern "C" {

void board_pwm_set_listener(board_pwm_listener_t listener, void *ctx) {
    pwm_listener = listener;
    pwm_listener_ctx = ctx;
}

void board_timer14_set_listener(board_timer14_listener_t listener, void *ctx) {
    tim14_listener = listener;
    tim14_listener_ctx = ctx;
}

void board_timers_set_listener(board_timers_listener_t listener, void *ctx) {
    timers_listener = listener;
    timers_listener_ctx = ctx;
}

uint16_t board_pwm_duty(uint8_t channel) {
    return channel < ALLOW_CHANNEL_NUM ? last_duty[channel] : 0;
}

} // extern "C"
