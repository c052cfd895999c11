// Clocks, timer 14 and PWM of the emulated nRF51 lamp board.
#include "board_microbit.h"
#include "board_listeners.h"

#include "board_player.h"
#include "erase_ahead.h"
#include "light_ctrl.h"
#include "nrf51.h"
#include "nvm_data_mgmt.h"
#include "pwm.h"
#include "tim.h"
#include "timer_service.h"

using namespace board_listeners;

namespace {

// TIMER0's priority (the upper two priority bits of the M0).
constexpr uint32_t timer0_priority = 2u << 6;

enum serving_t : uint8_t { no_event, timed_event, tick_event };

// The board's time keeping, in one record so that the interrupt paths reach
// it from one address. Times of timer 14 are the low 32 bits of the
// microsecond time: a tick is never due more than a period after the last
// millisecond boundary served, and periods stay below
// BOARD_TIM14_MAX_PERIOD_US, so 32-bit differences order them.
struct {
    bool running;      // timer 14
    serving_t serving; // what board_now_us reads while an event is served
    bool call_pending;
    uint32_t period_us;
    uint32_t due_us; // next tick
    uint32_t ticks;  // delivered, low 32 bits
    uint32_t ticks_high;
    uint32_t next_ms_due;   // the next millisecond boundary, low 32 bits
    uint32_t tick_event_us; // of the tick being served, low 32 bits
    // The last boundary served, in microseconds since the clocks started (a
    // time, so no pass of the dispatcher multiplies in 64 bits).
    uint64_t ms_served_us;
    uint64_t event_us; // of the millisecond or call being served
    uint64_t call_due_us;
    board_call_fn call_fn;
    void *call_ctx;
} clk = {false, no_event, false, 0, 0, 0, 0, 1000u, 0, 0, 0, 0, nullptr, nullptr};

volatile uint32_t idle_passes = 0;
uint32_t idle_passes_at_last_ms = 0;
uint32_t busy_ms = 0;
uint32_t busy_run_ms = 0; // consecutive, up to the last boundary served
uint32_t longest_busy_run_ms = 0;
uint32_t lag_us = 0;

uint32_t counter_now() {
    TIMER_TASKS_CAPTURE2 = 1u;
    return TIMER_CC2;
}

// Whether time a comes before time b (32-bit, wrap-safe).
bool before(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) < 0;
}

bool already_due(uint32_t due_us) {
    return !before(counter_now(), due_us);
}

// A time at or after the last millisecond boundary served, from its low 32
// bits.
uint64_t widen(uint32_t t_us) {
    return clk.ms_served_us + (t_us - static_cast<uint32_t>(clk.ms_served_us));
}

void drop_pending_tick() {
    TIMER_EVENTS_COMPARE0 = 0u;
    (void)TIMER_EVENTS_COMPARE0; // the write has landed before the pending bit is cleared
    NVIC_ICPR = 1u << TIMER0_IRQN;
    if (TIMER_EVENTS_COMPARE1 != 0u) {
        NVIC_ISPR = 1u << TIMER0_IRQN; // the millisecond's compare shares the line
    }
}

void set_priority(uint32_t irqn, uint32_t priority) {
    const uint32_t shift = 8u * (irqn % 4u);
    NVIC_IPR(irqn) = (NVIC_IPR(irqn) & ~(0xFFu << shift)) | (priority << shift);
}

// Whether timer 14's tick is the first event due: before the next millisecond
// boundary (which goes first on the same microsecond) and any pending call.
bool tick_comes_first() {
    if (!clk.running || !before(clk.due_us, clk.next_ms_due)) {
        return false;
    }
    return !clk.call_pending || clk.call_due_us >= clk.ms_served_us + 1000u ||
           !before(static_cast<uint32_t>(clk.call_due_us), clk.due_us);
}

// One fade tick at its due time. The compare is moved on first, so a restart
// from inside the tick keeps the schedule it sets, and only then is this
// tick's event cleared (QEMU's TIMER raises an event again that is cleared
// while the counter stands on its compare).
[[gnu::always_inline]] inline void serve_tick() {
    clk.serving = tick_event;
    clk.tick_event_us = clk.due_us;
    clk.due_us += clk.period_us;
    if (++clk.ticks == 0u) {
        ++clk.ticks_high;
    }
    TIMER_CC0 = clk.due_us;
    TIMER_EVENTS_COMPARE0 = 0u;
    light_ctrl_gradually_timer_handler();
    clk.serving = no_event;
}

// The millisecond boundary clk.next_ms_due, which the counter (now) has passed.
// Once a millisecond: kept out of the tick's path.
[[gnu::noinline]] void serve_millisecond(uint32_t now) {
    const uint64_t ms_due = clk.ms_served_us + 1000u;
    clk.serving = timed_event;
    clk.event_us = ms_due;
    clk.ms_served_us = ms_due;
    clk.next_ms_due += 1000u;
    TIMER_CC1 = clk.next_ms_due; // the next one's interrupt, then this one's event
    TIMER_EVENTS_COMPARE1 = 0u;  // cleared (as the tick's, serve_tick)
    const uint32_t late = now - static_cast<uint32_t>(ms_due);
    lag_us = late > lag_us ? late : lag_us;
    // A millisecond through which thread mode never ran was spent in
    // interrupts.
    if (idle_passes == idle_passes_at_last_ms) {
        ++busy_ms;
        ++busy_run_ms;
        longest_busy_run_ms = busy_run_ms > longest_busy_run_ms ? busy_run_ms : longest_busy_run_ms;
    } else {
        busy_run_ms = 0;
    }
    idle_passes_at_last_ms = idle_passes;
    uint32_t due_in = 0;
    const bool timers_due =
        timers_listener != nullptr && timer_service_next_due_in(&due_in) != 0 && due_in <= 1u;
    timer_service_advance(1);
    if (timers_due) {
        timers_listener(timers_listener_ctx, ms_due);
    }
    clk.serving = no_event;
}

[[gnu::noinline]] void serve_call() {
    clk.serving = timed_event;
    clk.event_us = clk.call_due_us;
    clk.call_pending = false;
    clk.call_fn(clk.call_ctx);
    clk.serving = no_event;
}

// Serves, in order of their nominal times, every millisecond boundary, every
// tick and the pending call that the microsecond counter has passed; on the
// same microsecond the millisecond (the software timers) goes first, then the
// tick, then the call (as on the host board). Every event's compare is
// written when the event before it is served, so when the counter has passed
// none of them, each will raise its interrupt. An interrupt served late
// changes neither the order nor the times the module sees. A call needs no
// interrupt of its own: it falls before the next millisecond boundary, whose
// interrupt serves it at the latest.
[[gnu::noinline]] void dispatch() {
    enum event_kind { none, millisecond, tick, call_due };
    for (;;) {
        const uint32_t now = counter_now();
        event_kind kind = none;
        uint32_t first = 0;
        if (!before(now, clk.next_ms_due)) {
            kind = millisecond;
            first = clk.next_ms_due;
        }
        if (clk.running && !before(now, clk.due_us) &&
            (kind == none || before(clk.due_us, first))) {
            kind = tick;
            first = clk.due_us;
        }
        if (clk.call_pending && clk.call_due_us < clk.ms_served_us + 1000u &&
            !before(now, static_cast<uint32_t>(clk.call_due_us)) &&
            (kind == none || before(static_cast<uint32_t>(clk.call_due_us), first))) {
            kind = call_due;
        }
        if (kind == millisecond) {
            serve_millisecond(now);
        } else if (kind == tick) {
            serve_tick();
        } else if (kind == call_due) {
            serve_call();
        } else {
            (void)TIMER_EVENTS_COMPARE0; // the clears have landed: no second interrupt
            return;
        }
    }
}

} // namespace

extern "C" {

uint32_t board_irq_save(void) {
    uint32_t primask = 0;
    __asm__ volatile("mrs %0, primask\n cpsid i" : "=r"(primask)::"memory");
    return primask;
}

void board_irq_restore(uint32_t saved) {
    __asm__ volatile("msr primask, %0" ::"r"(saved) : "memory");
}

void board_init(void) {
    // The crystal: the timers' microseconds, and the lamp's days, are then
    // as exact as it is.
    CLOCK_EVENTS_HFCLKSTARTED = 0u;
    CLOCK_TASKS_HFCLKSTART = 1u;
    while (CLOCK_EVENTS_HFCLKSTARTED == 0u) {
    }
    set_priority(TIMER0_IRQN, timer0_priority);
    TIMER_TASKS_STOP = 1u;
    TIMER_TASKS_CLEAR = 1u;
    TIMER_SHORTS = 0u;
    TIMER_MODE = 0u; // timer, not counter
    TIMER_BITMODE = TIMER_BITMODE_32;
    TIMER_PRESCALER = TIMER_PRESCALER_1MHZ;
    TIMER_INTENCLR = 0xFFFFFFFFu;
    TIMER_CC1 = clk.next_ms_due; // the first millisecond boundary
    TIMER_INTENSET = TIMER_INT_COMPARE1;
    drop_pending_tick();
    NVIC_ISER = 1u << TIMER0_IRQN;
}

void board_power_on(void) {
    board_init();
    nvm_init();
    board_erase_ahead_if_quiet(false); // time has not started: nothing waits
}

void board_start_clocks(void) {
    TIMER_TASKS_START = 1u;
}

uint64_t board_now_us(void) {
    if (clk.serving == timed_event) {
        return clk.event_us;
    }
    if (clk.serving == tick_event) {
        return widen(clk.tick_event_us);
    }
    BOARD_CRITICAL_BEGIN();
    const uint64_t now = widen(counter_now());
    BOARD_CRITICAL_END();
    return now;
}

void TIMER0_IRQHandler(void) {
    if (TIMER_EVENTS_COMPARE0 != 0u && tick_comes_first()) {
        // The fade tick on its own, the common case: nothing else is due
        // before it, so the dispatcher's search is not needed. Should the
        // next tick's compare have been written after the counter passed it
        // (this interrupt came more than a period late), the next
        // millisecond's dispatcher serves it, in order.
        serve_tick();
        (void)TIMER_EVENTS_COMPARE0; // the clear has landed: no second interrupt
        return;
    }
    dispatch();
}

void timer14_start(uint32_t period_us) {
    const uint64_t start = board_now_us();
    uint32_t period = period_us < BOARD_TIM14_MIN_PERIOD_US ? BOARD_TIM14_MIN_PERIOD_US : period_us;
    period = period > BOARD_TIM14_MAX_PERIOD_US ? BOARD_TIM14_MAX_PERIOD_US : period;
    BOARD_CRITICAL_BEGIN();
    clk.period_us = period;
    clk.due_us = static_cast<uint32_t>(start) + period;
    clk.running = true;
    TIMER_CC0 = clk.due_us;
    drop_pending_tick(); // a tick of the previous schedule is not delivered
    TIMER_INTENSET = TIMER_INT_COMPARE0;
    if (already_due(clk.due_us)) {
        NVIC_ISPR = 1u << TIMER0_IRQN;
    }
    BOARD_CRITICAL_END();
    if (tim14_listener != nullptr) {
        tim14_listener(tim14_listener_ctx, start, true, period);
    }
}

void timer14_stop(void) {
    BOARD_CRITICAL_BEGIN();
    const bool was_running = clk.running;
    clk.running = false;
    TIMER_INTENCLR = TIMER_INT_COMPARE0;
    drop_pending_tick();
    BOARD_CRITICAL_END();
    if (was_running && tim14_listener != nullptr) {
        tim14_listener(tim14_listener_ctx, board_now_us(), false, clk.period_us);
    }
}

void pwm_set_duty(uint8_t channel, uint16_t duty) {
    if (channel >= ALLOW_CHANNEL_NUM) {
        return;
    }
    last_duty[channel] = duty;
    if (pwm_listener != nullptr) {
        pwm_listener(pwm_listener_ctx, board_now_us(), channel, duty);
    }
}

bool board_timer14_running(void) {
    return clk.running;
}
uint32_t board_timer14_period_us(void) {
    return clk.period_us;
}
uint64_t board_timer14_tick_count(void) {
    return static_cast<uint64_t>(clk.ticks_high) << 32 | clk.ticks;
}
uint32_t board_idle_passes(void) {
    return idle_passes;
}
uint32_t board_busy_ms(void) {
    return busy_ms;
}
uint32_t board_longest_busy_run_ms(void) {
    return longest_busy_run_ms;
}
uint32_t board_lag_us(void) {
    return lag_us;
}

void board_call_at(uint64_t t_us, board_call_fn fn, void *ctx) {
    const uint64_t now = board_now_us();
    BOARD_CRITICAL_BEGIN();
    clk.call_pending = fn != nullptr;
    clk.call_due_us = t_us > now ? t_us : now;
    clk.call_fn = fn;
    clk.call_ctx = ctx;
    BOARD_CRITICAL_END();
}

void board_idle_once(void) {
    idle_passes = idle_passes + 1u;
    if (nvm_prepared() == 0 && !clk.running) {
        // With the interrupts masked: the store is called one call at a
        // time, and a tick or callback due during the erase is served,
        // late but in order, after it.
        BOARD_CRITICAL_BEGIN();
        board_erase_ahead_if_quiet(clk.running);
        BOARD_CRITICAL_END();
    }
    __asm__ volatile("wfi");
}

void board_idle_forever(void) {
    for (;;) {
        board_idle_once();
    }
}

uint32_t board_timer14_shortest_us(void) {
    return BOARD_TIM14_MIN_PERIOD_US;
}

void board_system_reset(void) {
    __asm__ volatile("dsb" ::: "memory");
    SCB_AIRCR = SCB_AIRCR_SYSRESETREQ;
    __asm__ volatile("dsb" ::: "memory");
    for (;;) {
    }
}

} // extern "C"
