#include "timer.h"
#include "timer_service.h"

namespace {

timer_event_t *pending_head = nullptr; // sorted by due time, FIFO among equals
uint32_t now_ms = 0;

// Distance from now to a due time; the clock may wrap, due times never lie
// more than 2^31 ms ahead.
uint32_t due_in(const timer_event_t *t) {
    return t->reload_value - now_ms;
}

void unlink(timer_event_t *t) {
    for (timer_event_t **link = &pending_head; *link != nullptr; link = &(*link)->next) {
        if (*link == t) {
            *link = t->next;
            break;
        }
    }
    t->next = nullptr;
    t->is_started = false;
}

void insert(timer_event_t *t) {
    const uint32_t wait = due_in(t);
    timer_event_t **link = &pending_head;
    while (*link != nullptr && due_in(*link) <= wait) {
        link = &(*link)->next;
    }
    t->next = *link;
    *link = t;
    t->is_started = true;
}

} // namespace

void timer_init(timer_event_t *timer, void (*callback)(void *param)) {
    if (timer == nullptr) {
        return;
    }
    timer->callback = callback;
}

void timer_set_value(timer_event_t *timer, uint32_t value) {
    if (timer == nullptr) {
        return;
    }
    timer->timestamp = value;
}

uint8_t timer_start(timer_event_t *timer) {
    if (timer == nullptr || timer->callback == nullptr) {
        return 1;
    }
    if (timer->is_started) {
        unlink(timer);
    }
    // During a callback now_ms is that run's due time, so re-arming from inside
    // a callback counts from the due time. A zero interval waits for the next
    // millisecond, so a callback re-arming itself with 0 cannot spin one pass.
    const uint32_t interval = timer->timestamp != 0 ? timer->timestamp : 1u;
    timer->reload_value = now_ms + interval;
    insert(timer);
    return 0;
}

void timer_stop(timer_event_t *timer) {
    if (timer == nullptr || !timer->is_started) {
        return;
    }
    unlink(timer);
}

void timer_service_advance(uint32_t elapsed_ms) {
    const uint32_t start = now_ms;
    while (pending_head != nullptr && due_in(pending_head) <= elapsed_ms - (now_ms - start)) {
        timer_event_t *t = pending_head;
        pending_head = t->next;
        t->next = nullptr;
        t->is_started = false;
        now_ms = t->reload_value;
        t->callback(t->context);
    }
    now_ms = start + elapsed_ms;
}

uint32_t timer_service_now(void) {
    return now_ms;
}

uint8_t timer_service_next_due_in(uint32_t *ms_until) {
    if (pending_head == nullptr) {
        return 0;
    }
    if (ms_until != nullptr) {
        *ms_until = due_in(pending_head);
    }
    return 1;
}

void timer_service_reset(void) {
    pending_head = nullptr;
    now_ms = 0;
}
