/* The serial port (Boards/serial.h): what lampsim's serial player talks to
 * lampsim --port through. Only the serial player's image needs it. */
#include "serial.h"

/* TODO: your UART's rate; lampsim --port DEVICE --baud N must name the same. */
#define PORT_SERIAL_BAUD 115200u

/* Contract: configures the UART (8 data bits, no parity, one stop bit, no
 * flow control, PORT_SERIAL_BAUD), its pins (TX idle high) and its interrupt
 * at a priority below timer 14 and the millisecond interrupt; starts
 * receiving. Once, at boot. */
void serial_start(void) {
    /* TODO: clock, pins, rate, frame format; enable the receive and
     * transmit-done interrupts; start the receiver. */
}

/* Contract: queues up to len bytes (a ring the UART interrupt empties one
 * byte per transmit-done event); returns how many it took, 0 when the ring is
 * full. Thread mode; never blocks. An idle transmitter is started here. */
uint32_t serial_send(const void *bytes, uint32_t len) {
    /* TODO: copy into the transmit ring, publish the new head after the
     * bytes; if the UART is idle, write the first byte (its interrupt masked
     * meanwhile). */
    (void)bytes;
    (void)len;
    return 0;
}

/* Contract: moves up to len of the bytes the UART interrupt put in the
 * receive ring into buf; returns how many. Thread mode; never blocks. The
 * interrupt drops a byte that finds the ring full. */
uint32_t serial_received(void *buf, uint32_t len) {
    /* TODO: copy from the receive ring, publish the new tail after. */
    (void)buf;
    (void)len;
    return 0;
}

/* Contract: bytes taken by serial_send not yet out of the pin (the ring's
 * and the one in the UART); 0 once the line is quiet. */
uint32_t serial_unsent(void) {
    /* TODO */
    return 0;
}

/* Contract: for a fault handler (no interrupt runs): masks the UART's
 * interrupt, sends what the ring still holds and then these bytes, each
 * written when the transmitter is free (poll its transmit-done flag); returns
 * when the last has left. */
void serial_send_now(const void *bytes, uint32_t len) {
    /* TODO */
    (void)bytes;
    (void)len;
}

uint32_t serial_baud(void) {
    return PORT_SERIAL_BAUD;
}

/* TODO: the UART's interrupt: for each byte received (clear the event before
 * reading the data register) into the receive ring; on transmit-done the next
 * byte of the transmit ring, or mark the UART idle; clear error flags. */
