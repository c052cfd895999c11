#ifndef BOARDS_PWM_H
#define BOARDS_PWM_H
/*
 * PWM driver, supplied by the board.
 *
 * Values are on the module's channel scale, 0..18000 (CTRL_CAL_VALUE_RANGE):
 * 0 is dark, 18000 full duty; the board maps the scale onto its timer period
 * and polarity. What the two channels carry depends on the mixing mode:
 * cold/warm mixing (BRIGHT_MODE_CW): channel 0 the cold-white string, channel
 * 1 the warm-white string; brightness/temperature driving (BRIGHT_MODE_CCT):
 * channel 0 the brightness, channel 1 the colour temperature.
 *
 * Calling context: the fade tick (light_ctrl_gradually_timer_handler), the
 * software-timer callbacks and the firmware's calls into the module. It must
 * not block and must not call back into the module.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ALLOW_CHANNEL_NUM 5
#define MODE_C_NUM        1
#define MODE_CW_NUM       2
#define MODE_RGB_NUM      3
#define MODE_RGBC_NUM     4
#define MODE_RGBCW_NUM    5

typedef uint8_t pwm_polarity_t;
enum pwm_polarity_e { PWM_POSITIVE = 0, PWM_NEGATIVE = 1 };

/* Sets channel (0..ALLOW_CHANNEL_NUM-1; the module uses 0 and 1) to duty. The
 * module writes channel 0 and then channel 1 for every output update. A duty
 * above 18000 (only from a restored record with values above 100 in
 * brightness/temperature mode) arrives unchanged; full duty is the natural
 * thing to show for it. Other channels are ignored. */
void pwm_set_duty(uint8_t channel, uint16_t duty);

#ifdef __cplusplus
}
#endif

#endif
