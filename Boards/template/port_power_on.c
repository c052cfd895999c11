/* Power-on order, the millisecond interrupt and the idle hook. */
#include "board_port.h"

#include "erase_ahead.h"
#include "light_ctrl.h"
#include "nvm_data_mgmt.h"
#include "timer_service.h"

#include <stdint.h>

void board_port_power_on(void) {
    /* TODO: the system clock: start the high-frequency crystal and wait until
     * it runs (the internal RC oscillator a part starts on is off by up to a
     * few per cent: a one-day countdown by many minutes). Then the PWM timer
     * (port_pwm.c: pins dark first), timer 14 (stopped, its interrupt
     * enabled) and the flash controller. Give timer 14's interrupt and the
     * millisecond interrupt the same priority: the fade tick and the
     * software-timer callbacks must never preempt each other. */

    nvm_init();                        /* the store reads what the flash holds */
    board_erase_ahead_if_quiet(false); /* time has not started: nothing waits */
    light_ctrl_init();                 /* restores the saved state and fades in */

    /* TODO: start the millisecond interrupt calling
     * board_port_millisecond_isr. */
}

void board_port_idle(void) {
    if (nvm_prepared() == 0 && !board_port_timer14_running()) {
        /* TODO: mask the tick's and the millisecond's interrupts: the store
         * takes one call at a time; what falls due during the erase is
         * served after it, late but in order. */
        board_erase_ahead_if_quiet(board_port_timer14_running());
        /* TODO: unmask them. */
    }
}

/* TODO: milliseconds since power-on from a counter that keeps counting while
 * interrupts wait: a flash erase stalls the core for tens of milliseconds on
 * many parts, and an interrupt that can only count itself then loses them.
 * An RTC, a free-running timer, or SysTick's count plus its reloads. Wraps at
 * 2^32. */
static uint32_t port_ms_since_power_on(void) {
    return 0;
}

static uint32_t ms_served;

/* Contract: at every millisecond (or later, after a stall), never re-entered,
 * at the fade tick's priority. The module's software-timer callbacks run
 * inside timer_service_advance, each at its own millisecond: advance by the
 * milliseconds that really passed, not by one. */
void board_port_millisecond_isr(void) {
    /* TODO: clear the interrupt's flag, then read it back (the same reason as
     * timer 14's, port_timer14.c). */
    const uint32_t now = port_ms_since_power_on();
    if (now != ms_served) {
        timer_service_advance(now - ms_served);
        ms_served = now;
    }
}
