#ifndef BOARDS_TIM_H
#define BOARDS_TIM_H
/*
 * Hardware timer 14: the fade tick. After timer14_start(period_us) the board
 * calls light_ctrl_gradually_timer_handler() at start + k * period_us, k >= 1,
 * until timer14_stop(). A start while running restarts with the new period.
 * The first tick is never delivered from inside timer14_start. A period the
 * board cannot serve is raised to its shortest workable period.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void timer14_start(uint32_t period_us);
void timer14_stop(void);

#ifdef __cplusplus
}
#endif

#endif
