#ifndef BOARDS_MICROBIT_SEMIHOST_H
#define BOARDS_MICROBIT_SEMIHOST_H
/* Output and exit status through the debugger (QEMU: -semihosting-config
 * enable=on,target=native). Output is buffered; callable from any context. */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void semihost_write(const char *text, uint32_t len);
void semihost_puts(const char *text);
void semihost_flush(void);
/* Flushes, then ends the emulation with the given status. */
void semihost_exit(uint32_t status) __attribute__((noreturn));

#ifdef __cplusplus
}
#endif

#endif
