#ifndef BOARDS_BOARD_LISTENERS_H
#define BOARDS_BOARD_LISTENERS_H
/*
 * What a board that offers board_observe.h keeps for it, one copy for every
 * such board: the listeners with their contexts (set by the board_*_set_listener
 * calls this unit defines) and the last duty written to each PWM channel (read
 * by board_pwm_duty, defined here too). The board calls a listener, when set,
 * in the context of the event it reports, with the board's time of the event.
 * C++ only: the boards' own sources use it.
 */
#include "board_observe.h"
#include "pwm.h"

#include <stdint.h>

namespace board_listeners {

// NOLINTBEGIN(bugprone-dynamic-static-initializers): declarations; the
// definitions (board_listeners.cpp) are constant-initialised.
// Volatile: where a PWM peripheral's compare registers would take the duty, so
// an image that never reads it back still pays for the writes as a product
// pays for the register writes.
extern volatile uint16_t last_duty[ALLOW_CHANNEL_NUM];
extern board_pwm_listener_t pwm_listener;
extern void *pwm_listener_ctx;
extern board_timer14_listener_t tim14_listener;
extern void *tim14_listener_ctx;
extern board_timers_listener_t timers_listener;
extern void *timers_listener_ctx;
// NOLINTEND(bugprone-dynamic-static-initializers)

} // namespace board_listeners

#endif
