#ifndef BOARDS_ERASE_AHEAD_H
#define BOARDS_ERASE_AHEAD_H
/*
 * When a board lets the store erase ahead (nvm_prepare in nvm_data_mgmt.h).
 * A page erase stalls the core (about 22 ms on the nRF51, no interrupt served
 * meanwhile: the vector table is in flash), so the board erases only while the
 * lamp is quiet: no fade running and no software timer due within
 * BOARD_QUIET_MS. Then the erase delays no tick and no callback, and a save
 * during a fade only programs words.
 *
 * Calling context: thread mode, with the tick and the millisecond interrupt
 * masked (the store is called one call at a time); or the host board between
 * its events. fading: whether timer 14 runs.
 */
#include "nvm_data_mgmt.h"
#include "timer_service.h"

#include <stdbool.h>
#include <stdint.h>

#define BOARD_QUIET_MS 25u

static inline void board_erase_ahead_if_quiet(bool fading) {
    uint32_t due_in = 0;
    if (!fading && nvm_prepared() == 0 &&
        (timer_service_next_due_in(&due_in) == 0 || due_in >= BOARD_QUIET_MS)) {
        (void)nvm_prepare();
    }
}

#endif
