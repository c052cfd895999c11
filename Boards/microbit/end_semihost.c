/* The end of a test image under QEMU: a fault or an unexpected interrupt is
 * printed through semihosting and ends the emulation with status 3; a return
 * from main ends it with main's status. */
#include "board_microbit.h"
#include "semihost.h"

void board_fault(const char *what) {
    semihost_puts(what);
    semihost_exit(3);
}

void board_exit(int status) {
    semihost_exit((uint32_t)status);
}
