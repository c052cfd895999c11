/* What lampsim's player watches on the board (Boards/board_observe.h): only
 * the serial player's image needs it. Boards/microbit/board_microbit.cpp has
 * all of it on a Cortex-M0. */
#include "board_observe.h"

#include "nvm_data_mgmt.h"

/* Contract: the power-on without the module's init and without time: the
 * board's clocks and peripherals as board_port_power_on sets them, the
 * millisecond interrupt and timer 14 stopped (board_start_clocks starts
 * them), then nvm_init(). */
void board_power_on(void) {
    /* TODO: as board_port_power_on, up to nvm_init, with time stopped. */
    nvm_init();
}

/* Contract: inside the millisecond interrupt, a tick or a board_call_at call,
 * the nominal time of that event; in thread mode the counter. Microseconds
 * since board_start_clocks. */
uint64_t board_now_us(void) {
    /* TODO: a free-running microsecond counter, widened to 64 bits. */
    return 0;
}

/* Contract: pwm_set_duty calls the listener with the board's time after
 * each write; board_pwm_duty returns the last value written (0 before). */
void board_pwm_set_listener(board_pwm_listener_t listener, void *ctx) {
    /* TODO: keep both for pwm_set_duty. */
    (void)listener;
    (void)ctx;
}

uint16_t board_pwm_duty(uint8_t channel) {
    /* TODO: the last duty pwm_set_duty wrote to the channel. */
    (void)channel;
    return 0;
}

bool board_timer14_running(void) {
    /* TODO: between timer14_start and timer14_stop. */
    return false;
}

uint32_t board_timer14_period_us(void) {
    /* TODO: the period in service, after timer14_start raised it. */
    return 0;
}

uint64_t board_timer14_tick_count(void) {
    /* TODO: ticks delivered since board_power_on. */
    return 0;
}

/* Contract: timer14_start calls the listener (running, the period in service)
 * after every start, timer14_stop after stopping a running timer. */
void board_timer14_set_listener(board_timer14_listener_t listener, void *ctx) {
    /* TODO: keep both for timer14_start and timer14_stop. */
    (void)listener;
    (void)ctx;
}

/* Contract: the millisecond interrupt calls the listener after
 * timer_service_advance when a software timer was due then. */
void board_timers_set_listener(board_timers_listener_t listener, void *ctx) {
    /* TODO: keep both for the millisecond interrupt. */
    (void)listener;
    (void)ctx;
}

/* Contract: fn(ctx) once at board time t_us, from the millisecond or tick
 * interrupt, after the software timers and the tick due at t_us (one
 * dispatcher serving all three in time order is the sure way). */
void board_call_at(uint64_t t_us, board_call_fn fn, void *ctx) {
    /* TODO: keep the call; the interrupts serve it when its time has come. */
    (void)t_us;
    (void)fn;
    (void)ctx;
}
