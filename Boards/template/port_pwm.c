/* PWM driver (Boards/pwm.h). */
#include "pwm.h"

/* TODO: the level that lights your LED strings: PWM_NEGATIVE when the
 * driver's input is active low. */
#define PORT_PWM_POLARITY PWM_POSITIVE

/* The PWM timer (set up in board_port_power_on, port_power_on.c):
 * - its counter clock at least 18000 times the PWM frequency: one count for
 *   each unit of the module's 0..18000 scale. 16 MHz gives 889 Hz; 1 MHz
 *   would give 55.6 Hz, a visible flicker;
 * - compare registers preloaded (shadowed), so a new duty takes effect at the
 *   next period: written directly, a duty lowered below the counter in the
 *   middle of a period misses its match and the output stays on for a whole
 *   period;
 * - both channels latched in the same period: the module writes channel 0 and
 *   then channel 1 for every step (hold the update between the two writes, or
 *   latch both at the update event);
 * - its pins driven to the dark level (PORT_PWM_POLARITY) before the timer
 *   starts, so the lamp does not flash at power-on. */
static const pwm_polarity_t polarity = PORT_PWM_POLARITY;

/* Contract: duty on the 0..18000 scale (18000 = full duty; above 18000 show
 * full duty), channel 0 and 1 used by the module, other channels ignored.
 * Called from the fade tick and the firmware's calls into the module: must not
 * block. */
void pwm_set_duty(uint8_t channel, uint16_t duty) {
    if (channel > 1u) {
        return;
    }
    const uint16_t on = duty > 18000u ? (uint16_t)18000u : duty;
    const uint16_t compare = polarity == PWM_POSITIVE ? on : (uint16_t)(18000u - on);
    /* TODO: compare register of `channel` = compare (a period of 18000
     * counts; for another period, compare * period / 18000). */
    (void)compare;
}
