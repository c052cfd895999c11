// For images that run without a debugger (microbit_firmware's
// WITHOUT_SEMIHOSTING, the serial player): the startup's fault handlers and
// main's return end in semihosting (startup.c), which without a debugger
// locks the core up. Such images link the startup without link-time
// optimisation and redirect both calls here: the chip resets instead.
#include "board_microbit.h"

#include <stdint.h>

// The names are the linker's (--wrap=SYMBOL calls __wrap_SYMBOL).
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" [[noreturn]] void __wrap_semihost_exit(uint32_t status) {
    (void)status;
    board_system_reset();
}

// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" void __wrap_semihost_puts(const char *text) {
    (void)text;
}
