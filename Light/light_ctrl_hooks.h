#ifndef LIGHT_LIGHT_CTRL_HOOKS_H
#define LIGHT_LIGHT_CTRL_HOOKS_H
/*
 * What the simulated board, the simulator, the benchmarks and the tests need of
 * the module beyond its public operations. Firmware never calls these: on the
 * chip a reset does what light_ctrl_power_on_reset does.
 */
#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Every byte of the module back to its power-on value, as a chip reset leaves
 * it: a simulated power cut. */
void light_ctrl_power_on_reset(void);

/* The cold/warm alternation's next turn (true: channel 0 holds next), so a
 * test can start a fade with either. */
void light_ctrl_fade_set_refresh_flag(bool value);

#ifdef __cplusplus
}
#endif

#endif
