#ifndef BOARDS_MICROBIT_BOARD_MICROBIT_H
#define BOARDS_MICROBIT_BOARD_MICROBIT_H
/*
 * The lamp on an nRF51 (Cortex-M0, no FPU), as QEMU's micro:bit emulates it.
 *
 * Clocks: board_init starts the 16 MHz crystal and waits until it runs, so
 * every time base below is as exact as the crystal (the internal RC
 * oscillator the chip starts on is off by up to a few per cent).
 *
 * Time base: TIMER0 counts microseconds, free-running from the moment the
 * clocks start. Its compare 1 is the millisecond interrupt: every boundary
 * advances the software timer service, and every module callback runs inside
 * it. Its compare 0 is timer 14. Tick k of a start falls at start + k *
 * period, where start is the time of the event that called timer14_start (the
 * millisecond of the software timer callback, or the counter at a call from
 * thread mode).
 *
 * Interrupt context: one interrupt, TIMER0, and one dispatcher, so a
 * callback, a fade tick and a board_call_at call always run to completion one
 * after the other. The dispatcher serves every millisecond boundary, every
 * tick and the pending call that the microsecond counter has passed, in order
 * of their times; on the same microsecond the millisecond first, then the
 * tick, then the call (as on the host board). A tick with nothing due before
 * it takes a short path of its own. The milliseconds are counted from the
 * microsecond counter, so an interrupt served late (after a flash stall, say)
 * still gives each callback its exact millisecond and loses none. Thread mode
 * idles, and prepares the store when the lamp is quiet (board_idle_forever);
 * the firmware above calls the module from a software timer callback (or
 * from thread mode between BOARD_CRITICAL_BEGIN and BOARD_CRITICAL_END).
 *
 * Shortest period: the fade tick cannot run faster than once per
 * BOARD_TIM14_MIN_PERIOD_US, the shortest period whose worst tick takes at
 * most half of it at 16 MHz (docs/target.md); timer14_start raises shorter
 * periods to it, so a short blink period slows its fades instead of keeping
 * the processor in the tick interrupt. A tick served late (one that overran
 * its period) is followed at once by those that fell due meanwhile, in order
 * with the milliseconds.
 *
 * The end of the program: a product image resets the chip on a fault, an
 * unexpected interrupt or a return from main (end_reset.c, no debugger
 * needed); test images end through semihosting instead (end_semihost.c).
 */
#include "board_observe.h"
#include "board_player.h"

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define BOARD_TIM14_MIN_PERIOD_US 50u
/* The longest period served; longer ones are served at it (the module asks
 * for 238,609 us at most). */
#define BOARD_TIM14_MAX_PERIOD_US (1u << 30)

/* board_player.h's board_irq_save and board_irq_restore, as a scope. */
#define BOARD_CRITICAL_BEGIN() uint32_t board_saved_primask_ = board_irq_save()
#define BOARD_CRITICAL_END()   board_irq_restore(board_saved_primask_)

/* The crystal, interrupt priorities and peripherals; the microsecond counter
 * stays stopped (time 0) until board_start_clocks starts it. board_power_on
 * calls it first. board_now_us gives the due time of the tick, millisecond or
 * call being served, the counter in thread mode. */
void board_init(void);
/* Passes of the thread-mode idle loop: it advances only while no interrupt
 * keeps the processor. board_busy_ms counts the milliseconds it did not
 * advance through: time the processor spent in interrupts from one boundary
 * to the next. */
uint32_t board_idle_passes(void);
/* The most of the board_busy_ms milliseconds in a row. */
uint32_t board_longest_busy_run_ms(void);
/* The most the dispatcher has fallen behind: of every millisecond boundary
 * served, the microseconds between the boundary and its service. */
uint32_t board_lag_us(void);
/* Thread-mode idle loop; never returns. Between interrupts it lets the store
 * erase ahead when the lamp is quiet (Boards/erase_ahead.h), so the flash
 * stall of a page erase delays nothing that shows; board_power_on does the
 * same before time starts. */
void board_idle_forever(void);

/* The end of the program (startup.c): a fault or an unexpected interrupt
 * (what: a line saying which), a return from main (status). A product image
 * links end_reset.c: board_fault_report(what), then a chip reset. A test
 * image under QEMU links end_semihost.c: the line and the status go to the
 * emulator, which ends. */
void board_fault(const char *what) __attribute__((noreturn));
void board_exit(int status) __attribute__((noreturn));
/* Where a product image says what went wrong before it resets: nothing by
 * default (a weak definition); an image with a UART defines it to send the
 * line there. Runs in the fault's context with interrupts as they were: it
 * must not wait on an interrupt. */
void board_fault_report(const char *what);

#ifdef __cplusplus
}
#endif

#endif
