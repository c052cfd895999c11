#ifndef BOARDS_MICROBIT_NRF51_H
#define BOARDS_MICROBIT_NRF51_H
/* The few nRF51822 and Cortex-M0 core registers this board touches. */
#include <stdint.h>

/* A memory-mapped register at its fixed address. C++ files (every one that
 * includes this header) get the cast the analysers take for what it is. */
#ifdef __cplusplus
/* NOLINTNEXTLINE(performance-no-int-to-ptr): a register is reached by its address */
#define REG32(addr) (*reinterpret_cast<volatile uint32_t *>(addr))
#else
#define REG32(addr) (*(volatile uint32_t *)(addr))
#endif

/* CLOCK: the high-frequency clock runs from the internal RC oscillator until
 * the crystal is started and has settled (EVENTS_HFCLKSTARTED). */
#define CLOCK_BASE                0x40000000u
#define CLOCK_TASKS_HFCLKSTART    REG32(CLOCK_BASE + 0x000u)
#define CLOCK_EVENTS_HFCLKSTARTED REG32(CLOCK_BASE + 0x100u)

/* TIMER0: the free-running 1 MHz counter, its compare 0 (timer 14) and
 * compare 1 (the millisecond interrupt). */
#define TIMER0_BASE           0x40008000u
#define TIMER_TASKS_START     REG32(TIMER0_BASE + 0x000u)
#define TIMER_TASKS_STOP      REG32(TIMER0_BASE + 0x004u)
#define TIMER_TASKS_CLEAR     REG32(TIMER0_BASE + 0x00Cu)
#define TIMER_TASKS_CAPTURE2  REG32(TIMER0_BASE + 0x048u)
#define TIMER_EVENTS_COMPARE0 REG32(TIMER0_BASE + 0x140u)
#define TIMER_EVENTS_COMPARE1 REG32(TIMER0_BASE + 0x144u)
#define TIMER_SHORTS          REG32(TIMER0_BASE + 0x200u)
#define TIMER_INTENSET        REG32(TIMER0_BASE + 0x304u)
#define TIMER_INTENCLR        REG32(TIMER0_BASE + 0x308u)
#define TIMER_MODE            REG32(TIMER0_BASE + 0x504u)
#define TIMER_BITMODE         REG32(TIMER0_BASE + 0x508u)
#define TIMER_PRESCALER       REG32(TIMER0_BASE + 0x510u)
#define TIMER_CC0             REG32(TIMER0_BASE + 0x540u)
#define TIMER_CC1             REG32(TIMER0_BASE + 0x544u)
#define TIMER_CC2             REG32(TIMER0_BASE + 0x548u)
#define TIMER_INT_COMPARE0    (1u << 16)
#define TIMER_INT_COMPARE1    (1u << 17)
#define TIMER_BITMODE_32      3u
#define TIMER_PRESCALER_1MHZ  4u /* 16 MHz >> 4 */
#define TIMER0_IRQN           8u

/* NVMC: flash programming and page erase. */
#define NVMC_BASE        0x4001E000u
#define NVMC_READY       REG32(NVMC_BASE + 0x400u)
#define NVMC_CONFIG      REG32(NVMC_BASE + 0x504u)
#define NVMC_ERASEPAGE   REG32(NVMC_BASE + 0x508u)
#define NVMC_CONFIG_REN  0u
#define NVMC_CONFIG_WEN  1u
#define NVMC_CONFIG_EEN  2u
#define NRF51_FLASH_SIZE (256u * 1024u)
#define NRF51_PAGE_SIZE  1024u
/* The store's data area (Boards/flash.h): the chip's last six pages,
 * 0x3E800..0x3FFFF; microbit.ld ends the image below it. */
#define NRF51_DATA_AREA_ADDR 0x0003E800u

/* UART0: lampsim's serial link (serial_nrf51.cpp), on the micro:bit's USB
 * interface pins. Events are cleared by writing 0. */
#define UART0_BASE           0x40002000u
#define UART_TASKS_STARTRX   REG32(UART0_BASE + 0x000u)
#define UART_TASKS_STARTTX   REG32(UART0_BASE + 0x008u)
#define UART_EVENTS_RXDRDY   REG32(UART0_BASE + 0x108u)
#define UART_EVENTS_TXDRDY   REG32(UART0_BASE + 0x11Cu)
#define UART_EVENTS_ERROR    REG32(UART0_BASE + 0x124u)
#define UART_INTENSET        REG32(UART0_BASE + 0x304u)
#define UART_INTENCLR        REG32(UART0_BASE + 0x308u)
#define UART_ERRORSRC        REG32(UART0_BASE + 0x480u)
#define UART_ENABLE          REG32(UART0_BASE + 0x500u)
#define UART_PSELRTS         REG32(UART0_BASE + 0x508u)
#define UART_PSELTXD         REG32(UART0_BASE + 0x50Cu)
#define UART_PSELCTS         REG32(UART0_BASE + 0x510u)
#define UART_PSELRXD         REG32(UART0_BASE + 0x514u)
#define UART_RXD             REG32(UART0_BASE + 0x518u)
#define UART_TXD             REG32(UART0_BASE + 0x51Cu)
#define UART_BAUDRATE        REG32(UART0_BASE + 0x524u)
#define UART_CONFIG          REG32(UART0_BASE + 0x56Cu)
#define UART_INT_RXDRDY      (1u << 2)
#define UART_INT_TXDRDY      (1u << 7)
#define UART_INT_ERROR       (1u << 9)
#define UART_ENABLE_ENABLED  4u
#define UART_PSEL_DISCONNECT 0xFFFFFFFFu
#define UART0_IRQN           2u
#define MICROBIT_PIN_TX      24u /* to the USB interface chip */
#define MICROBIT_PIN_RX      25u

/* GPIO: the UART's pins while the UART does not drive them. */
#define GPIO_BASE           0x50000000u
#define GPIO_OUTSET         REG32(GPIO_BASE + 0x508u)
#define GPIO_PIN_CNF(n)     REG32(GPIO_BASE + 0x700u + 4u * (n))
#define GPIO_PIN_CNF_OUTPUT 3u /* DIR output, input buffer disconnected */
#define GPIO_PIN_CNF_INPUT  0u /* DIR input, input buffer connected, no pull */

/* Cortex-M0 core. */
#define NVIC_ISER             REG32(0xE000E100u)
#define NVIC_ICER             REG32(0xE000E180u)
#define NVIC_ISPR             REG32(0xE000E200u)
#define NVIC_ICPR             REG32(0xE000E280u)
#define NVIC_IPR(n)           REG32(0xE000E400u + 4u * ((n) / 4u))
#define SCB_AIRCR             REG32(0xE000ED0Cu)
#define SCB_AIRCR_SYSRESETREQ (0x05FA0000u | (1u << 2))

#endif
