/* Hardware timer 14, the fade tick (Boards/tim.h). */
#include "board_port.h"
#include "light_ctrl.h"
#include "tim.h"

/* Contract: ticks at start + k * period_us (k = 1, 2, ...), each calling
 * light_ctrl_gradually_timer_handler once, until timer14_stop. A call while
 * running restarts with the new period. Never deliver the first tick from
 * inside this call. Raise a period the timer cannot serve (0 included) to the
 * shortest one it can. Called from the tick itself, from software-timer
 * callbacks and from the firmware's calls into the module. */
void timer14_start(uint32_t period_us) {
    /* TODO: stop the timer, drop a pending tick, load period_us (in 1 us
     * counts), clear the counter, start. */
    (void)period_us;
}

/* Contract: no tick after it returns (drop one already pending); harmless
 * when stopped. Called from inside the tick on arrival. */
void timer14_stop(void) {
    /* TODO: stop the timer and clear its pending interrupt. */
}

/* Contract: timer 14's interrupt, at the millisecond interrupt's priority. */
void board_port_timer14_isr(void) {
    /* TODO: clear the timer's update flag. */
    light_ctrl_gradually_timer_handler();
}
