/* PWM driver (Boards/pwm.h). */
#include "pwm.h"

/* Contract: duty on the 0..18000 scale (18000 = full duty; above 18000 show
 * full duty), channel 0 and 1 used by the module, other channels ignored.
 * Called from the fade tick and the firmware's calls into the module: must not
 * block. Map the scale onto the timer's period and the board's polarity
 * (pwm_polarity_t). */
void pwm_set_duty(uint8_t channel, uint16_t duty) {
    /* TODO: compare register of `channel` = duty * period / 18000. */
    (void)channel;
    (void)duty;
}
