/* The end of a product image: a fault, an unexpected interrupt or a return
 * from main resets the chip (the store keeps what was saved; the lamp starts
 * as after a power cut). No debugger is needed: nothing here traps. */
#include "board_microbit.h"

/* Empty unless the image has somewhere to say it: a board with a UART
 * defines its own, which sends `what` before the reset. */
__attribute__((weak)) void board_fault_report(const char *what) {
    (void)what;
}

void board_fault(const char *what) {
    board_fault_report(what);
    board_system_reset();
}

void board_exit(int status) {
    (void)status;
    board_system_reset();
}
