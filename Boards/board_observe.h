#ifndef BOARDS_BOARD_OBSERVE_H
#define BOARDS_BOARD_OBSERVE_H
/*
 * What a board that runs the tests and the simulator offers besides the calls
 * the module makes: the power-on sequence, watching the PWM outputs, the fade
 * tick and the software timers, the board's time, and a call at a given time
 * that is ordered with the board's own events. The simulated host board and
 * the Cortex-M0 board under QEMU both provide it, so one program (lampsim's
 * scenario player) runs on either; a product board need not.
 *
 * Order of events on one microsecond: the software timers of that millisecond
 * first, then the fade tick, then the call of board_call_at. Listeners run in
 * the context of the event they report.
 */
#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Power-on, in the order the module needs: the board (its clocks stay
 * stopped), the software timer service, then the store (nvm_init). The caller
 * calls light_ctrl_init next. On the host this also sets the module's RAM back
 * to its reset values, as a chip reset does; the flash keeps its contents. */
void board_power_on(void);

/* Time of the event being served, in microseconds since power-on. */
uint64_t board_now_us(void);

/* Called on every pwm_set_duty, in the context of the write (the fade tick or
 * a software-timer callback), with the board's time; NULL for none. */
typedef void (*board_pwm_listener_t)(void *ctx, uint64_t t_us, uint8_t channel, uint16_t duty);
void board_pwm_set_listener(board_pwm_listener_t listener, void *ctx);
/* Last value written to a channel (0 for a channel never written). */
uint16_t board_pwm_duty(uint8_t channel);

bool board_timer14_running(void);
/* Period in service, in microseconds, after the board's adjustment of the
 * period asked for (see tim.h). */
uint32_t board_timer14_period_us(void);
/* Fade ticks delivered since power-on. */
uint64_t board_timer14_tick_count(void);

/* Called when timer 14 is started (running = true, also on a restart) and when
 * a running timer 14 is stopped, with the period in service; NULL for none. */
typedef void (*board_timer14_listener_t)(void *ctx, uint64_t t_us, bool running,
                                         uint32_t period_us);
void board_timer14_set_listener(board_timer14_listener_t listener, void *ctx);

/* Called after the software timers due on a millisecond have run (only when
 * at least one ran), before a fade tick due on the same microsecond; NULL for
 * none. */
typedef void (*board_timers_listener_t)(void *ctx, uint64_t t_us);
void board_timers_set_listener(board_timers_listener_t listener, void *ctx);

/* Calls fn(ctx) once at board time t_us, after every software timer and fade
 * tick due at or before t_us; board_now_us() reads t_us during the call. One
 * call is pending at a time: a new one replaces it; a NULL fn cancels it. A
 * time already passed is taken as the present time. */
typedef void (*board_call_fn)(void *ctx);
void board_call_at(uint64_t t_us, board_call_fn fn, void *ctx);

#ifdef __cplusplus
}
#endif

#endif
