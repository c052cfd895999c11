#ifndef BOARDS_PWM_H
#define BOARDS_PWM_H
/* PWM driver: duty on a 0..18000 scale. What a channel drives depends on the
 * mixing mode: in cold/warm mixing channel 0 is the cold white string and
 * channel 1 the warm one; in brightness/temperature mixing channel 0 carries
 * the brightness and channel 1 the colour temperature. */
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

/* Writes duty to channel (0..ALLOW_CHANNEL_NUM-1); other channels are ignored.
 * Callable from the fade-tick interrupt. */
void pwm_set_duty(uint8_t channel, uint16_t duty);

#ifdef __cplusplus
}
#endif

#endif
