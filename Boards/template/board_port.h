#ifndef BOARDS_TEMPLATE_BOARD_PORT_H
#define BOARDS_TEMPLATE_BOARD_PORT_H
/*
 * Port of light_ctrl to a board: copy Boards/template/ into your firmware and
 * fill in every TODO (README.md in this folder says in which order). The
 * module calls pwm.h, tim.h and (through the store) flash.h; the board calls
 * the module from the two interrupt handlers below and powers it on with
 * board_port_power_on.
 */
#ifdef __cplusplus
extern "C" {
#endif

/* Power-on: the board's clocks and peripherals, then the store (nvm_init),
 * then the module (light_ctrl_init), then the millisecond interrupt. Call once
 * from main before anything else touches the lamp. */
void board_port_power_on(void);

/* The millisecond interrupt: drives the software timer service. */
void board_port_millisecond_isr(void);
/* Timer 14's interrupt: one fade tick per period. */
void board_port_timer14_isr(void);

#ifdef __cplusplus
}
#endif

#endif
