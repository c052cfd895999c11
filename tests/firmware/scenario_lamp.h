#ifndef FIRMWARE_TEST_SCENARIO_LAMP_H
#define FIRMWARE_TEST_SCENARIO_LAMP_H
/*
 * The lamp's day, run identically on the host board and on the Cortex-M0:
 * boot 1 (erased store): start-up fade, step and hold down, a temperature step,
 * a countdown that switches off, switching on, a blink, cold/warm mixing fades
 * both ways, a blink ending dark, a save, then a reset.
 * Boot 2: the saved state restored and faded in, then done.
 * Every blink period here is at least 500 ms, so no tick period falls below
 * what both boards serve as asked.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* After the board, the timer service and the store are up and before time
 * runs: starts the module and arms the script of that boot (1 or 2). */
void scenario_lamp_start(uint8_t boot);

#ifdef __cplusplus
}
#endif

#endif
