// Clocks, timer 14 and PWM of the emulated nRF51 lamp board.
#include "board_microbit.h"

#include "light_ctrl.h"
#include "nrf51.h"
#include "nvm_data_mgmt.h"
#include "pwm.h"
#include "tim.h"
#include "timer_service.h"

namespace {

// SysTick and TIMER0 share this level (the upper two priority bits of the M0).
constexpr uint32_t shared_priority = 2u << 6;
constexpr uint32_t systick_reload = CPU_CLOCK_HZ / 1000u - 1u;

// The next millisecond boundary to serve, in microseconds since the clocks
// started: kept as a time, so no pass of the dispatcher multiplies in 64 bits.
volatile uint64_t next_ms_us = 1000u;
bool in_event = false; // inside a SysTick or tick interrupt
uint64_t event_us = 0; // nominal time of that event

struct {
    bool running;
    uint32_t period_us;
    uint64_t due_us; // next tick
    uint64_t ticks;
} tim14;

struct {
    bool pending;
    uint64_t due_us;
    board_call_fn fn;
    void *ctx;
} call;

uint16_t duty[ALLOW_CHANNEL_NUM];
board_pwm_listener_t pwm_listener = nullptr;
void *pwm_listener_ctx = nullptr;
board_timer14_listener_t tim14_listener = nullptr;
void *tim14_listener_ctx = nullptr;
board_timers_listener_t timers_listener = nullptr;
void *timers_listener_ctx = nullptr;
volatile uint32_t idle_passes = 0;
uint32_t idle_passes_at_last_ms = 0;
uint32_t busy_ms = 0;
uint32_t lag_us = 0;

uint32_t counter_now() {
    TIMER_TASKS_CAPTURE2 = 1u;
    return TIMER_CC2;
}

// The counter, widened with the millisecond count (interrupts masked).
uint64_t counter_now_wide() {
    const uint64_t ms_us = next_ms_us - 1000u;
    const uint32_t since = counter_now() - static_cast<uint32_t>(ms_us);
    return ms_us + since;
}

bool already_due(uint64_t due_us) {
    return static_cast<int32_t>(static_cast<uint32_t>(due_us) - counter_now()) <= 0;
}

void drop_pending_tick() {
    TIMER_EVENTS_COMPARE0 = 0u;
    (void)TIMER_EVENTS_COMPARE0; // the write has landed before the pending bit is cleared
    NVIC_ICPR = 1u << TIMER0_IRQN;
    if (TIMER_EVENTS_COMPARE1 != 0u) {
        NVIC_ISPR = 1u << TIMER0_IRQN; // the millisecond wake-up shares the line
    }
}

void set_priority(uint32_t irqn, uint32_t priority) {
    const uint32_t shift = 8u * (irqn % 4u);
    NVIC_IPR(irqn) = (NVIC_IPR(irqn) & ~(0xFFu << shift)) | (priority << shift);
}

// Serves, in order of their nominal times, every millisecond boundary, every
// tick and the pending call that the microsecond counter has passed; on the
// same microsecond the millisecond (the software timers) goes first, then the
// tick, then the call (as on the host board). Both interrupts come here, so an
// interrupt served late changes neither the order nor the times the module
// sees. A call needs no wake-up of its own: it falls before the next
// millisecond boundary, whose wake-up serves it at the latest.
void dispatch() {
    enum { none, millisecond, tick, call_due } kind;
    for (;;) {
        const uint32_t now = counter_now();
        const uint64_t ms_due = next_ms_us;
        kind = none;
        uint64_t first = 0;
        if (static_cast<int32_t>(now - static_cast<uint32_t>(ms_due)) >= 0) {
            kind = millisecond;
            first = ms_due;
        }
        if (tim14.running && already_due(tim14.due_us) && (kind == none || tim14.due_us < first)) {
            kind = tick;
            first = tim14.due_us;
        }
        if (call.pending && call.due_us < ms_due && already_due(call.due_us) &&
            (kind == none || call.due_us < first)) {
            kind = call_due;
        }
        if (kind == none) {
            // Compare 1 wakes the dispatcher at the next boundary should
            // SysTick come a little before the counter gets there.
            TIMER_CC1 = static_cast<uint32_t>(ms_due);
            TIMER_EVENTS_COMPARE1 = 0u;
            (void)TIMER_EVENTS_COMPARE1;
            if (static_cast<int32_t>(counter_now() - static_cast<uint32_t>(ms_due)) >= 0) {
                continue;
            }
            if (tim14.running) {
                TIMER_CC0 = static_cast<uint32_t>(tim14.due_us);
                drop_pending_tick();
                if (already_due(tim14.due_us)) {
                    continue; // passed while being programmed
                }
            }
            return;
        }
        in_event = true;
        if (kind == millisecond) {
            next_ms_us = ms_due + 1000u;
            event_us = ms_due;
            const uint32_t late = now - static_cast<uint32_t>(ms_due);
            lag_us = late > lag_us ? late : lag_us;
            // A millisecond through which thread mode never ran was spent in
            // interrupts.
            if (idle_passes == idle_passes_at_last_ms) {
                ++busy_ms;
            }
            idle_passes_at_last_ms = idle_passes;
            uint32_t due_in = 0;
            const bool timers_due = timer_service_next_due_in(&due_in) != 0 && due_in <= 1u;
            timer_service_advance(1);
            if (timers_due && timers_listener != nullptr) {
                timers_listener(timers_listener_ctx, event_us);
            }
        } else if (kind == tick) {
            event_us = tim14.due_us;
            tim14.due_us += tim14.period_us;
            ++tim14.ticks;
            light_ctrl_gradually_timer_handler();
        } else {
            event_us = call.due_us;
            call.pending = false;
            call.fn(call.ctx);
        }
        in_event = false;
    }
}

} // namespace

extern "C" {

uint32_t board_irq_save(void) {
    uint32_t primask = 0;
    __asm__ volatile("mrs %0, primask\n cpsid i" : "=r"(primask)::"memory");
    return primask;
}

void board_irq_restore(uint32_t primask) {
    __asm__ volatile("msr primask, %0" ::"r"(primask) : "memory");
}

void board_init(void) {
    SCB_SHPR3 = (SCB_SHPR3 & 0x00FFFFFFu) | (shared_priority << 24);
    set_priority(TIMER0_IRQN, shared_priority);
    TIMER_TASKS_STOP = 1u;
    TIMER_TASKS_CLEAR = 1u;
    TIMER_SHORTS = 0u;
    TIMER_MODE = 0u; // timer, not counter
    TIMER_BITMODE = TIMER_BITMODE_32;
    TIMER_PRESCALER = TIMER_PRESCALER_1MHZ;
    TIMER_INTENCLR = 0xFFFFFFFFu;
    TIMER_CC1 = 1000u; // first millisecond boundary
    TIMER_INTENSET = TIMER_INT_COMPARE1;
    drop_pending_tick();
    NVIC_ISER = 1u << TIMER0_IRQN;
}

void board_power_on(void) {
    board_init();
    nvm_init();
}

void board_start_clocks(void) {
    BOARD_CRITICAL_BEGIN();
    SYST_RVR = systick_reload;
    SYST_CVR = 0u;
    // Back to back, so the counter lags the millisecond boundaries by a few
    // instructions: less than a microsecond, which keeps the order of a tick
    // and a SysTick on the same microsecond.
    SYST_CSR = SYST_CSR_ENABLE | SYST_CSR_TICKINT | SYST_CSR_CLKSOURCE;
    TIMER_TASKS_START = 1u;
    BOARD_CRITICAL_END();
}

uint64_t board_now_us(void) {
    if (in_event) {
        return event_us;
    }
    BOARD_CRITICAL_BEGIN();
    const uint64_t now = counter_now_wide();
    BOARD_CRITICAL_END();
    return now;
}

void SysTick_Handler(void) {
    dispatch();
}

void TIMER0_IRQHandler(void) {
    TIMER_EVENTS_COMPARE0 = 0u;
    TIMER_EVENTS_COMPARE1 = 0u;
    (void)TIMER_EVENTS_COMPARE1;
    dispatch();
}

void timer14_start(uint32_t period_us) {
    const uint64_t start = board_now_us();
    BOARD_CRITICAL_BEGIN();
    tim14.period_us = period_us < BOARD_TIM14_MIN_PERIOD_US ? BOARD_TIM14_MIN_PERIOD_US : period_us;
    tim14.due_us = start + tim14.period_us;
    tim14.running = true;
    TIMER_CC0 = static_cast<uint32_t>(tim14.due_us);
    drop_pending_tick(); // a tick of the previous schedule is not delivered
    TIMER_INTENSET = TIMER_INT_COMPARE0;
    if (already_due(tim14.due_us)) {
        NVIC_ISPR = 1u << TIMER0_IRQN;
    }
    BOARD_CRITICAL_END();
    if (tim14_listener != nullptr) {
        tim14_listener(tim14_listener_ctx, start, true, tim14.period_us);
    }
}

void timer14_stop(void) {
    BOARD_CRITICAL_BEGIN();
    const bool was_running = tim14.running;
    tim14.running = false;
    TIMER_INTENCLR = TIMER_INT_COMPARE0;
    drop_pending_tick();
    BOARD_CRITICAL_END();
    if (was_running && tim14_listener != nullptr) {
        tim14_listener(tim14_listener_ctx, board_now_us(), false, tim14.period_us);
    }
}

void pwm_set_duty(uint8_t channel, uint16_t value) {
    if (channel >= ALLOW_CHANNEL_NUM) {
        return;
    }
    duty[channel] = value;
    if (pwm_listener != nullptr) {
        pwm_listener(pwm_listener_ctx, board_now_us(), channel, value);
    }
}

void board_pwm_set_listener(board_pwm_listener_t listener, void *ctx) {
    pwm_listener = listener;
    pwm_listener_ctx = ctx;
}

uint16_t board_pwm_duty(uint8_t channel) {
    return channel < ALLOW_CHANNEL_NUM ? duty[channel] : 0;
}

bool board_timer14_running(void) {
    return tim14.running;
}
uint32_t board_timer14_period_us(void) {
    return tim14.period_us;
}
uint64_t board_timer14_tick_count(void) {
    return tim14.ticks;
}
uint32_t board_idle_passes(void) {
    return idle_passes;
}
uint32_t board_busy_ms(void) {
    return busy_ms;
}
uint32_t board_lag_us(void) {
    return lag_us;
}

void board_timer14_set_listener(board_timer14_listener_t listener, void *ctx) {
    tim14_listener = listener;
    tim14_listener_ctx = ctx;
}

void board_timers_set_listener(board_timers_listener_t listener, void *ctx) {
    timers_listener = listener;
    timers_listener_ctx = ctx;
}

void board_call_at(uint64_t t_us, board_call_fn fn, void *ctx) {
    const uint64_t now = board_now_us();
    BOARD_CRITICAL_BEGIN();
    call.pending = fn != nullptr;
    call.due_us = t_us > now ? t_us : now;
    call.fn = fn;
    call.ctx = ctx;
    BOARD_CRITICAL_END();
}

void board_idle_forever(void) {
    for (;;) {
        idle_passes = idle_passes + 1u;
        __asm__ volatile("wfi");
    }
}

void board_system_reset(void) {
    __asm__ volatile("dsb" ::: "memory");
    SCB_AIRCR = SCB_AIRCR_SYSRESETREQ;
    __asm__ volatile("dsb" ::: "memory");
    for (;;) {
    }
}

} // extern "C"
