/* What the board adds to run lampsim's serial player (Boards/board_player.h):
 * only the serial player's image needs it. Its linker script must give the
 * player a section .noinit that the startup neither copies nor clears
 * (NOLOAD), as Boards/microbit/microbit.ld does. */
#include "board_player.h"

/* Contract: starts the millisecond interrupt and timer 14's time base
 * together; board_now_us counts from 0 here. */
void board_start_clocks(void) {
    /* TODO */
}

/* Contract: masks interrupts and returns the mask before (PRIMASK on a
 * Cortex-M); board_irq_restore puts it back. */
uint32_t board_irq_save(void) {
    /* TODO: read PRIMASK, then cpsid i. */
    return 0;
}

void board_irq_restore(uint32_t saved) {
    /* TODO: write PRIMASK back. */
    (void)saved;
}

/* Contract: counts a pass of thread mode (for board_busy_ms), then sleeps
 * until an interrupt is pending (wfi wakes for a masked one too). */
void board_idle_once(void) {
    /* TODO: ++passes; wfi. */
}

/* Contract: milliseconds through which thread mode made no pass (the
 * millisecond interrupt compares the pass count with the last one's). */
uint32_t board_busy_ms(void) {
    /* TODO */
    return 0;
}

/* Contract: while set, flash_program and flash_erase_sector change nothing
 * and report failure (the scenario's nvm-fail). */
void board_flash_refuse_writes(bool refuse) {
    /* TODO: a flag port_flash.c checks. */
    (void)refuse;
}

/* Contract: the shortest period timer14_start serves (shorter ones are
 * raised to it). */
uint32_t board_timer14_shortest_us(void) {
    /* TODO */
    return 1;
}

/* Contract: resets the chip as a power-on does, RAM's .noinit kept. */
void board_system_reset(void) {
    /* TODO: SCB->AIRCR = SYSRESETREQ (0x05FA0004), dsb. */
    for (;;) {
    }
}
