#ifndef FIRMWARE_TEST_SCRIPT_H
#define FIRMWARE_TEST_SCRIPT_H
/*
 * A fixed sequence of timed operations on the lamp, run from a software timer
 * (so, on every board, in the context of the module's own callbacks), and its
 * plain-text trace:
 *   w <t_us> <channel> <duty>     every PWM write, with the board's time
 *   r <t_ms> <name> <value>...    the result of an operation or a reading
 * The same script on two boards gives the same text exactly when their channel
 * values, results and timing agree.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Supplied by the program running the script. */
void script_platform_write(const char *text, uint32_t len);
/* Power cut and restart; the flash keeps its contents. */
void script_platform_reset(void);
void script_platform_done(uint8_t status);

typedef struct {
    uint32_t at_ms; /* from power-on */
    void (*run)(void);
} script_step_t;

/* Arms the steps (sorted by time); the first runs at steps[0].at_ms. */
void script_run(const script_step_t *steps, uint32_t count);

/* PWM listener of either board: writes the "w" line. */
void script_pwm_listener(void *ctx, uint64_t t_us, uint8_t channel, uint16_t duty);

/* "r" lines, stamped with the software timer clock. */
void script_result(const char *name, uint32_t value);
void script_result2(const char *name, uint32_t a, uint32_t b);
void script_note(const char *name);
/* Switch, brightness, temperature and scene snapshot, one line each. */
void script_report_state(void);

#ifdef __cplusplus
}
#endif

#endif
