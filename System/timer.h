#ifndef SYSTEM_TIMER_H
#define SYSTEM_TIMER_H
/*
 * Software timer service: one-shot millisecond timers with callbacks. The
 * module owns its records (static storage); the service links pending ones.
 * The board drives the service's clock through timer_service.h.
 *
 *  - timer_init binds the callback; it may be called on a pending record and
 *    leaves it pending.
 *  - timestamp holds the interval last given to timer_set_value, in ms.
 *  - timer_start arms the record for one interval; an interval of 0 counts as
 *    1 ms, so a callback re-arming itself with 0 cannot spin. Arming a pending
 *    record restarts its interval; the record stays pending once.
 *  - A record re-armed from inside its own callback counts the next interval
 *    from the due time of the run in progress, so periodic timers do not drift.
 *  - A callback may arm or stop any record, itself included.
 *  - timer_stop cancels a pending run; harmless on a record that is not pending.
 *
 * Calling context: callbacks (they run inside timer_service_advance), the fade
 * tick, and code that neither interrupts nor is interrupted by
 * timer_service_advance. The service takes no lock.
 */
#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct timer_event_s {
    uint32_t timestamp;    /* interval last set, in ms */
    uint32_t reload_value; /* service bookkeeping: due time on the service clock, in ms */
    bool is_started;       /* pending */
    void *context;         /* passed to the callback */
    void (*callback)(void *param);
    struct timer_event_s *next; /* service chaining of pending records */
} timer_event_t;

void timer_init(timer_event_t *timer, void (*callback)(void *param));
void timer_set_value(timer_event_t *timer, uint32_t value);
/* 0 when armed, 1 for a null record or a record without callback. */
uint8_t timer_start(timer_event_t *timer);
void timer_stop(timer_event_t *timer);

#ifdef __cplusplus
}
#endif

#endif
