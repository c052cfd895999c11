#ifndef BOARDS_TIM_H
#define BOARDS_TIM_H
/*
 * Hardware timer 14: the fade tick, supplied by the board.
 *
 * After timer14_start(period_us) the board calls
 * light_ctrl_gradually_timer_handler() at start + k * period_us, k = 1, 2, ...,
 * until timer14_stop(). The tick runs in the board's tick context (an
 * interrupt): it must neither preempt nor be preempted by timer_service_advance
 * (timer_service.h), nor by the firmware's calls into the module; give the
 * tick and the millisecond interrupt one priority level, or serve both from
 * one dispatcher.
 *
 * Calling context of both calls: the fade tick itself (it stops the timer on
 * arrival), software-timer callbacks, and the firmware's calls into the module.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Starts, or restarts with the new period, the fade tick; period in
 * microseconds. The first tick is never delivered from inside this call. A
 * period the board cannot serve, 0 included (a fade time under 18 ms), is
 * raised to the board's shortest workable period. */
void timer14_start(uint32_t period_us);
/* No tick is delivered after it returns; harmless when stopped. */
void timer14_stop(void);

#ifdef __cplusplus
}
#endif

#endif
