/* Vector table and reset of the nRF51: .data copied from flash, .bss cleared,
 * static constructors run, then main. A fault or an unexpected interrupt, and
 * a return from main, go to the image's end (board_microbit.h: board_fault,
 * board_exit): a chip reset in a product, the debugger in a test image. */
#include <stdint.h>

#include "board_microbit.h"

/* NOLINTBEGIN(bugprone-reserved-identifier): the linker script's names */
extern uint32_t __data_load[], __data_start[], __data_end[];
extern uint32_t __bss_start[], __bss_end[];
extern void (*__init_array_start[])(void);
extern void (*__init_array_end[])(void);
extern uint32_t __stack_top[];
/* NOLINTEND(bugprone-reserved-identifier) */

int main(void);
void Reset_Handler(void);
void TIMER0_IRQHandler(void);
/* The serial port's interrupt, in images that link the UART driver. */
void UART0_IRQHandler(void) __attribute__((weak, alias("Default_Handler")));

void HardFault_Handler(void) {
    board_fault("fault: hard fault\n");
}

void Default_Handler(void) {
    board_fault("fault: unexpected interrupt\n");
}

typedef void (*vector_t)(void);

__attribute__((section(".isr_vector"), used)) const vector_t vector_table[16 + 32] = {
    /* NOLINTNEXTLINE(performance-no-int-to-ptr): the first word is the initial stack pointer */
    (vector_t)(uintptr_t)__stack_top,
    Reset_Handler,
    Default_Handler, /* NMI */
    HardFault_Handler,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    Default_Handler, /* SVCall */
    0,
    0,
    Default_Handler, /* PendSV */
    Default_Handler, /* SysTick */
    /* IRQ 0..31: TIMER0 (IRQ 8), and UART0 (IRQ 2) in images with the serial port */
    Default_Handler,
    Default_Handler,
    UART0_IRQHandler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    TIMER0_IRQHandler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
    Default_Handler,
};

void Reset_Handler(void) {
    for (uint32_t *src = __data_load, *dst = __data_start; dst < __data_end;) {
        *dst++ = *src++;
    }
    /* cppcheck-suppress comparePointers ; the linker script's bounds of one region */
    for (uint32_t *dst = __bss_start; dst < __bss_end;) {
        *dst++ = 0;
    }
    for (void (**ctor)(void) = __init_array_start; ctor < __init_array_end; ++ctor) {
        (*ctor)();
    }
    board_exit(main());
}
