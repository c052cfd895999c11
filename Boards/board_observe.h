#ifndef BOARDS_BOARD_OBSERVE_H
#define BOARDS_BOARD_OBSERVE_H
/*
 * What a board that runs the tests and the simulator offers besides the calls
 * the module makes: the power-on sequence, watching the PWM outputs, the fade
 * tick's state, and the board's time. The simulated host board and the
 * Cortex-M0 board under QEMU both provide it, so one test program runs on
 * either; a product board need not.
 */
#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Power-on, in the order the module needs: the board (its clocks stay
 * stopped), the software timer service, then the store (nvm_init). The caller
 * calls light_ctrl_init next. On the host this also sets the module's RAM back
 * to its reset values, as a chip reset does; the flash keeps its contents. */
void board_power_on(void);

/* Time of the event being served, in microseconds since power-on. */
uint64_t board_now_us(void);

/* Called on every pwm_set_duty, in the context of the write (the fade tick or
 * a software-timer callback), with the board's time; NULL for none. */
typedef void (*board_pwm_listener_t)(void *ctx, uint64_t t_us, uint8_t channel, uint16_t duty);
void board_pwm_set_listener(board_pwm_listener_t listener, void *ctx);
/* Last value written to a channel (0 for a channel never written). */
uint16_t board_pwm_duty(uint8_t channel);

bool board_timer14_running(void);
/* Period in service, in microseconds, after the board's adjustment of the
 * period asked for (see tim.h). */
uint32_t board_timer14_period_us(void);
/* Fade ticks delivered since power-on. */
uint64_t board_timer14_tick_count(void);

#ifdef __cplusplus
}
#endif

#endif
