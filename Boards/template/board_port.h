#ifndef BOARDS_TEMPLATE_BOARD_PORT_H
#define BOARDS_TEMPLATE_BOARD_PORT_H
/*
 * Port of light_ctrl to a board: copy Boards/template/ into your firmware and
 * fill in every TODO (README.md in this folder says in which order;
 * docs/porting.md lists what bites on the bench). The module calls pwm.h,
 * tim.h and (through the store) flash.h; the board calls the module from the
 * two interrupt handlers below, powers it on with board_port_power_on and
 * lets the store erase ahead from its idle loop with board_port_idle.
 */
#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Power-on: the board's clocks and peripherals, then the store (nvm_init and
 * its erase ahead), then the module (light_ctrl_init), then the millisecond
 * interrupt. Call once from main before anything else touches the lamp. */
void board_port_power_on(void);
/* Thread mode, from main's idle loop (between wait-for-interrupts): lets the
 * store erase ahead while the lamp is quiet, so that a save in a fade only
 * programs words (Boards/erase_ahead.h). */
void board_port_idle(void);

/* The millisecond interrupt: drives the software timer service. */
void board_port_millisecond_isr(void);
/* Timer 14's interrupt: one fade tick per period. */
void board_port_timer14_isr(void);
/* Whether timer 14 runs (a fade is going on). */
bool board_port_timer14_running(void);

#ifdef __cplusplus
}
#endif

#endif
