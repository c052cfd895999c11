#ifndef BOARDS_MICROBIT_BOARD_MICROBIT_H
#define BOARDS_MICROBIT_BOARD_MICROBIT_H
/*
 * The lamp on an nRF51 (Cortex-M0, no FPU), as QEMU's micro:bit emulates it.
 *
 * Time bases:
 *  - SysTick, every 1 ms, advances the software timer service; every module
 *    callback runs inside it.
 *  - TIMER0 counts microseconds, free-running from the moment the clocks start;
 *    its compare 0 is timer 14. Tick k of a start falls at start + k * period,
 *    where start is the time of the event that called timer14_start (the
 *    millisecond of the software timer callback, or the counter at a call from
 *    thread mode).
 *
 * Interrupt context: SysTick and TIMER0 share one priority level and one
 * dispatcher, so neither preempts the other: a callback, a fade tick and a
 * board_call_at call always run to completion one after the other. The
 * dispatcher serves every millisecond boundary, every tick and the pending call
 * that the microsecond counter has passed, in order of their times; on the
 * same microsecond the millisecond first, then the tick, then the call (as on
 * the host board). The milliseconds are counted from the microsecond counter,
 * so a SysTick served late (or a SysTick that runs slow, as QEMU's does) still
 * gives each callback its exact millisecond. Thread mode only idles; the
 * firmware above calls the module from a software timer callback (or from
 * thread mode between BOARD_CRITICAL_BEGIN and BOARD_CRITICAL_END).
 *
 * Shortest period: the fade tick cannot run faster than once per
 * BOARD_TIM14_MIN_PERIOD_US; timer14_start raises shorter periods to it, so a
 * short blink period slows its fades instead of keeping the processor in the
 * tick interrupt. A tick served late (one that overran its period) is followed
 * at once by those that fell due meanwhile, in order with the milliseconds.
 */
#include "board_observe.h"

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define BOARD_TIM14_MIN_PERIOD_US 22u

uint32_t board_irq_save(void);
void board_irq_restore(uint32_t primask);
#define BOARD_CRITICAL_BEGIN() uint32_t board_saved_primask_ = board_irq_save()
#define BOARD_CRITICAL_END()   board_irq_restore(board_saved_primask_)

/* Interrupt priorities and peripherals; the clocks stay stopped (time 0).
 * board_power_on calls it first. board_now_us gives the due time of the tick
 * or the millisecond of the SysTick being served, the counter in thread mode. */
void board_init(void);
/* Starts SysTick and the microsecond counter together: time runs from here. */
void board_start_clocks(void);
/* Passes of the thread-mode idle loop: it advances only while no interrupt
 * keeps the processor. */
uint32_t board_idle_passes(void);
/* Milliseconds since the clocks started through which thread mode never ran:
 * time the processor spent in interrupts from one boundary to the next. */
uint32_t board_busy_ms(void);
/* The most the dispatcher has fallen behind: of every millisecond boundary
 * served, the microseconds between the boundary and its service. */
uint32_t board_lag_us(void);
/* lampsim's nvm-fail: while set, every flash program and erase is refused
 * with nothing changed (Boards/flash.h calls report failure). */
void board_flash_refuse_writes(bool refuse);

/* Thread-mode idle loop; never returns. */
void board_idle_forever(void);
/* Full chip reset (the flash keeps its contents). */
void board_system_reset(void) __attribute__((noreturn));

#ifdef __cplusplus
}
#endif

#endif
