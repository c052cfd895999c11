#ifndef SYSTEM_TIMER_SERVICE_H
#define SYSTEM_TIMER_SERVICE_H
/*
 * Board side of the software timer service: the board owns the time base and
 * drives the service's millisecond clock.
 *
 * The board calls timer_service_advance(1) once every millisecond, from its
 * millisecond interrupt (a SysTick, say), or timer_service_advance(n) for n
 * milliseconds passed at once. The module's software-timer callbacks run
 * inside it, in due order; records due on the same millisecond run in the
 * order they were armed, and while a callback runs the service clock reads
 * that record's due time. It must not be re-entered, and it must neither
 * preempt nor be preempted by the fade tick (Boards/tim.h): give both the same
 * interrupt priority, or serve both from one dispatcher, the millisecond
 * first when both fall on the same microsecond.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Advance the clock by elapsed_ms, running every callback that falls due. */
void timer_service_advance(uint32_t elapsed_ms);
/* Current service time in ms (wraps after 2^32 ms). */
uint32_t timer_service_now(void);
/* 1 and *ms_until = ms from now to the next due record, or 0 if none pending;
 * for a board that sleeps until the next expiry. */
uint8_t timer_service_next_due_in(uint32_t *ms_until);
/* Power-on state: clock 0, nothing pending. Records are not touched. */
void timer_service_reset(void);

#ifdef __cplusplus
}
#endif

#endif
