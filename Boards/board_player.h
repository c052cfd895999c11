#ifndef BOARDS_BOARD_PLAYER_H
#define BOARDS_BOARD_PLAYER_H
/*
 * What a board adds to board_observe.h and serial.h to run lampsim's serial
 * player (tools/lampsim/target/serial_player.cpp): the player plays a
 * scenario that lampsim sends over the serial port and reports back, with
 * the board's time running only while it plays, and a chip reset for every
 * power cut of the scenario.
 *
 * The player keeps what a reset must not lose in a section named .noinit,
 * which the board's startup neither copies nor clears.
 */
#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Starts the millisecond interrupt and the fade tick's time base together:
 * board_now_us runs from 0 here. Thread mode, after board_power_on. */
void board_start_clocks(void);
/* Interrupts masked (returns the mask before) and restored: thread mode
 * checks for work with them masked, so that an interrupt after the check
 * still ends the sleep below. */
uint32_t board_irq_save(void);
void board_irq_restore(uint32_t saved);
/* One pass of thread mode's idle loop: counted for board_busy_ms, then the
 * processor sleeps until an interrupt is pending (masked or not: called
 * between board_irq_save and board_irq_restore, it returns at once for one
 * that came after the save, which then runs at the restore). */
void board_idle_once(void);
/* Milliseconds since the clocks started through which thread mode never ran
 * (0 if the board does not count them). */
uint32_t board_busy_ms(void);
/* The scenario's nvm-fail: while set, every flash program and erase is
 * refused with nothing changed. */
void board_flash_refuse_writes(bool refuse);
/* The shortest fade tick period the board serves (tim.h raises shorter ones
 * to it), in microseconds. */
uint32_t board_timer14_shortest_us(void);
/* Resets the chip as a power-on would, except that RAM's .noinit section
 * keeps its contents (and the flash its own). */
void board_system_reset(void) __attribute__((noreturn));

#ifdef __cplusplus
}
#endif

#endif
