#ifndef BOARDS_SERIAL_H
#define BOARDS_SERIAL_H
/*
 * The board's serial port: a UART, 8 data bits, no parity, one stop bit, no
 * flow control, at the rate the board's build sets (serial_baud). lampsim's
 * serial player talks to lampsim --port through it; the module never uses it.
 *
 * Calling context: thread mode. None of the calls blocks: the board moves the
 * bytes in its UART interrupt, at a priority below the fade tick and the
 * millisecond interrupt, so that the lamp's timing never waits for the line
 * (and the line waits while the lamp's interrupts run).
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Configures the UART and starts receiving; once at boot, before the calls
 * below. Bytes that came before are lost. */
void serial_start(void);

/* Queues up to len bytes to send, in order; returns how many it took: fewer
 * when its buffer fills, 0 when it is full. */
uint32_t serial_send(const void *bytes, uint32_t len);

/* Moves up to len of the bytes received so far (in order, each once) into
 * buf; returns how many. A byte that comes while the board's receive buffer
 * is full is dropped (whoever reads the bytes must notice: lampsim's frames
 * carry a length and a checksum). */
uint32_t serial_received(void *buf, uint32_t len);

/* Bytes taken by serial_send that have not yet left the pin; 0 once the line
 * is quiet (a reset then loses nothing). */
uint32_t serial_unsent(void);

/* For a fault handler, where no interrupt runs: sends the bytes queued so
 * far and then these, waiting for each to leave (the UART's interrupt is
 * masked from then on). Returns when the last byte has left. */
void serial_send_now(const void *bytes, uint32_t len);

/* The line's rate in bits per second. */
uint32_t serial_baud(void);

#ifdef __cplusplus
}
#endif

#endif
