// The nRF51's UART0 as the board's serial port (Boards/serial.h), driven by
// its interrupt: thread mode queues and takes bytes through two rings, the
// interrupt moves them between the rings and the UART one byte per event.
//
// The interrupt runs at the lowest priority, below the millisecond and tick
// dispatcher: the lamp's timing never waits for the line. Each ring has one
// writer and one reader (thread mode or the interrupt), with free-running
// indices published after the bytes, so neither side masks the other.
#include "serial.h"

#include "nrf51.h"

#include <atomic>

#ifndef SERIAL_BAUD
#define SERIAL_BAUD 115200u
#endif

namespace {

constexpr uint32_t uart_priority = 3u << 6; // the lowest of the M0's four levels

// BAUDRATE register values of the nRF51 reference manual.
constexpr struct {
    uint32_t baud, reg;
} rates[] = {
    {9600u, 0x00275000u},   {19200u, 0x004EA000u},  {38400u, 0x009D5000u},
    {57600u, 0x00EBF000u},  {115200u, 0x01D7E000u}, {230400u, 0x03AFB000u},
    {460800u, 0x075F7000u}, {921600u, 0x0EBED000u}, {1000000u, 0x10000000u},
};

constexpr uint32_t baud_register() {
    for (const auto &r : rates) {
        // cppcheck-suppress useStlAlgorithm ; std::find_if is constexpr from C++20 only
        if (r.baud == SERIAL_BAUD) {
            return r.reg;
        }
    }
    return 0;
}
static_assert(baud_register() != 0, "SERIAL_BAUD is not a rate of the nRF51's UART");

template <uint32_t size> struct ring {
    static_assert((size & (size - 1)) == 0, "a power of two");
    uint8_t bytes[size];
    volatile uint32_t head; // written by the producer only
    volatile uint32_t tail; // written by the consumer only
};

ring<512> tx;
ring<256> rx;
volatile bool tx_busy = false; // a byte is in the UART, its TXDRDY to come

void publish() {
    std::atomic_signal_fence(std::memory_order_seq_cst); // the bytes before the index
}

// QEMU's model of this UART raises TXDRDY without its interrupt when its host
// side took the byte late; the chip raises both. Thread mode's calls pend the
// interrupt for such an event (on the chip it is pending already).
void catch_late_txdrdy() {
    if (tx_busy && UART_EVENTS_TXDRDY != 0u) {
        NVIC_ISPR = 1u << UART0_IRQN;
    }
}

// The next queued byte into the UART; the interrupt's part, or thread mode's
// with the interrupt masked.
void send_next() {
    const uint32_t t = tx.tail;
    if (t == tx.head) {
        tx_busy = false;
        return;
    }
    tx_busy = true;
    UART_TXD = tx.bytes[t % sizeof tx.bytes];
    tx.tail = t + 1u;
}

} // namespace

extern "C" {

void serial_start(void) {
    UART_ENABLE = 0u;
    GPIO_OUTSET = 1u << MICROBIT_PIN_TX; // idle high while nothing drives it
    GPIO_PIN_CNF(MICROBIT_PIN_TX) = GPIO_PIN_CNF_OUTPUT;
    GPIO_PIN_CNF(MICROBIT_PIN_RX) = GPIO_PIN_CNF_INPUT;
    UART_PSELTXD = MICROBIT_PIN_TX;
    UART_PSELRXD = MICROBIT_PIN_RX;
    UART_PSELRTS = UART_PSEL_DISCONNECT;
    UART_PSELCTS = UART_PSEL_DISCONNECT;
    UART_CONFIG = 0u; // no parity, no flow control
    UART_BAUDRATE = baud_register();
    UART_EVENTS_RXDRDY = 0u;
    UART_EVENTS_TXDRDY = 0u;
    UART_EVENTS_ERROR = 0u;
    tx.head = tx.tail = rx.head = rx.tail = 0u;
    tx_busy = false;
    UART_ENABLE = UART_ENABLE_ENABLED;
    UART_INTENSET = UART_INT_RXDRDY | UART_INT_TXDRDY | UART_INT_ERROR;
    const uint32_t shift = 8u * (UART0_IRQN % 4u);
    NVIC_IPR(UART0_IRQN) = (NVIC_IPR(UART0_IRQN) & ~(0xFFu << shift)) | (uart_priority << shift);
    NVIC_ICPR = 1u << UART0_IRQN;
    NVIC_ISER = 1u << UART0_IRQN;
    UART_TASKS_STARTRX = 1u;
    UART_TASKS_STARTTX = 1u;
}

uint32_t serial_send(const void *bytes, uint32_t len) {
    catch_late_txdrdy();
    const auto *p = static_cast<const uint8_t *>(bytes);
    const uint32_t h = tx.head;
    const uint32_t room = sizeof tx.bytes - (h - tx.tail);
    const uint32_t n = len < room ? len : room;
    for (uint32_t i = 0; i < n; ++i) {
        tx.bytes[(h + i) % sizeof tx.bytes] = p[i];
    }
    publish();
    tx.head = h + n;
    // An idle transmitter has no TXDRDY to come: the first byte starts it.
    NVIC_ICER = 1u << UART0_IRQN;
    if (!tx_busy) {
        send_next();
    }
    NVIC_ISER = 1u << UART0_IRQN;
    return n;
}

uint32_t serial_received(void *buf, uint32_t len) {
    auto *p = static_cast<uint8_t *>(buf);
    const uint32_t t = rx.tail;
    const uint32_t have = rx.head - t;
    const uint32_t n = len < have ? len : have;
    for (uint32_t i = 0; i < n; ++i) {
        p[i] = rx.bytes[(t + i) % sizeof rx.bytes];
    }
    publish();
    rx.tail = t + n;
    return n;
}

uint32_t serial_unsent(void) {
    catch_late_txdrdy();
    return tx.head - tx.tail + (tx_busy ? 1u : 0u);
}

void serial_send_now(const void *bytes, uint32_t len) {
    NVIC_ICER = 1u << UART0_IRQN;
    const auto *p = static_cast<const uint8_t *>(bytes);
    uint32_t i = 0;
    for (;;) {
        if (tx_busy) {
            while (UART_EVENTS_TXDRDY == 0u) {
            }
            UART_EVENTS_TXDRDY = 0u;
            (void)UART_EVENTS_TXDRDY;
            tx_busy = false;
        }
        if (tx.tail != tx.head) {
            send_next();
        } else if (i < len) {
            tx_busy = true;
            UART_TXD = p[i++];
        } else {
            return;
        }
    }
}

uint32_t serial_baud(void) {
    return SERIAL_BAUD;
}

void UART0_IRQHandler(void) {
    // RXDRDY is cleared before RXD is read: reading may raise it again for a
    // byte behind it in the UART's FIFO.
    while (UART_EVENTS_RXDRDY != 0u) {
        UART_EVENTS_RXDRDY = 0u;
        (void)UART_EVENTS_RXDRDY;
        const auto byte = static_cast<uint8_t>(UART_RXD);
        const uint32_t h = rx.head;
        if (h - rx.tail < sizeof rx.bytes) { // else dropped: the frame's check sees it
            rx.bytes[h % sizeof rx.bytes] = byte;
            publish();
            rx.head = h + 1u;
        }
    }
    if (UART_EVENTS_ERROR != 0u) {
        UART_EVENTS_ERROR = 0u;
        UART_ERRORSRC = UART_ERRORSRC; // overrun, parity, framing, break: written back to clear
    }
    if (UART_EVENTS_TXDRDY != 0u) {
        UART_EVENTS_TXDRDY = 0u;
        (void)UART_EVENTS_TXDRDY;
        send_next();
    }
}

} // extern "C"
