/* Power-on order and the millisecond interrupt. */
#include "board_port.h"

#include "light_ctrl.h"
#include "nvm_data_mgmt.h"
#include "timer_service.h"

void board_port_power_on(void) {
    /* TODO: system clock, the PWM timer, timer 14 (stopped, its interrupt
     * enabled) and the flash controller. Give timer 14's interrupt and the
     * millisecond interrupt the same priority: the fade tick and the
     * software-timer callbacks must never preempt each other. */

    nvm_init();        /* the store reads what the flash holds */
    light_ctrl_init(); /* restores the saved state and fades in */

    /* TODO: start the millisecond interrupt (a SysTick of 1 ms, say) calling
     * board_port_millisecond_isr. */
}

/* Contract: every millisecond, never re-entered, at the fade tick's priority.
 * The module's software-timer callbacks run inside timer_service_advance. If
 * the interrupt can come late, pass the milliseconds that went by instead of
 * 1, so the callbacks keep their times. */
void board_port_millisecond_isr(void) {
    /* TODO: clear the interrupt's flag if the hardware needs it. */
    timer_service_advance(1);
}
