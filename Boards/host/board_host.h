#ifndef BOARDS_HOST_BOARD_HOST_H
#define BOARDS_HOST_BOARD_HOST_H
/*
 * Simulated board: a virtual clock in microseconds, the PWM outputs, timer 14
 * and the millisecond clock of the software timer service, run by one
 * deterministic dispatcher.
 *
 * Order of events: the dispatcher jumps from one due event to the next. When a
 * software-timer expiry and a timer-14 tick fall on the same microsecond, the
 * software timers of that millisecond run first (in due order, FIFO among
 * equals), then the tick, then a call of board_call_at. The millisecond clock reads floor(now_us /
 * 1000), so a timer due at millisecond D runs at D * 1000 us. Timer 14 ticks at start + k * period
 * (k >= 1); a period of 0 is served as 1 us, and none shorter than the floor
 * (board_host_set_tim14_floor_us).
 *
 * Between events, and at power-on, the board lets the store erase ahead when
 * the lamp is quiet (Boards/erase_ahead.h), as the chip's idle loop does.
 */
#include "board_observe.h"

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The board without power: clock 0, timer 14 stopped, outputs 0, timer
 * service reset, no call pending, listeners kept. The flash is not touched (it survives power
 * cuts). board_power_on does this first. */
void board_reset(void);

/* The shortest timer 14 period the board serves; shorter ones are served at
 * it. 1 us unless the build sets BOARD_HOST_TIM14_FLOOR_US: every period as
 * the module asks. Set to a chip's shortest period (BOARD_TIM14_MIN_PERIOD_US
 * of the micro:bit), the board serves fades as that chip does, so that runs on
 * the two can be compared; the m0 preset builds its host lampsim so. Kept
 * across board_reset. Returns the floor set before. */
uint32_t board_host_set_tim14_floor_us(uint32_t floor_us);

/* Runs every event due up to and including t_us, then sets the clock to t_us
 * (never backwards). */
void board_run_until(uint64_t t_us);
void board_run_for(uint64_t duration_us);
/* 1 and *t_us = time of the next due event (a pending call included), or 0 if
 * nothing is due ever. */
uint8_t board_next_event_us(uint64_t *t_us);
/* The same for software-timer expiries alone. */
uint8_t board_next_timer_expiry_us(uint64_t *t_us);

#ifdef __cplusplus
}
#endif

#endif
