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

/* Files of the machine running the emulator (paths relative to its working
 * directory). Modes as fopen's: 0 "r", 1 "rb", 4 "w", 5 "wb", 8 "a", 9 "ab".
 * open: a handle, or -1. read and write: bytes not transferred (0: all).
 * seek: to an absolute position; 0 on success. Unbuffered. */
int32_t semihost_open(const char *path, uint32_t mode);
uint32_t semihost_read(int32_t handle, void *buf, uint32_t len);
uint32_t semihost_write_file(int32_t handle, const void *buf, uint32_t len);
int32_t semihost_seek(int32_t handle, uint32_t position);
void semihost_close(int32_t handle);

#ifdef __cplusplus
}
#endif

#endif
