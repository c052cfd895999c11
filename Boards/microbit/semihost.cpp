#include "semihost.h"

#include "board_microbit.h"

namespace {

constexpr uint32_t sys_open = 0x01;
constexpr uint32_t sys_close = 0x02;
constexpr uint32_t sys_write0 = 0x04;
constexpr uint32_t sys_write = 0x05;
constexpr uint32_t sys_read = 0x06;
constexpr uint32_t sys_seek = 0x0A;
constexpr uint32_t sys_exit = 0x18;
constexpr uint32_t sys_exit_extended = 0x20;
constexpr uint32_t adp_stopped_application_exit = 0x20026;

char buffer[512]; // flushed when full: one trap per 511 bytes
uint32_t used = 0;

uint32_t call(uint32_t op, const void *arg) {
    register uint32_t r0 __asm__("r0") = op;
    register const void *r1 __asm__("r1") = arg;
    __asm__ volatile("bkpt 0xab" : "+r"(r0) : "r"(r1) : "memory");
    return r0;
}

void flush_locked() {
    if (used == 0) {
        return;
    }
    buffer[used] = '\0';
    call(sys_write0, buffer);
    used = 0;
}

} // namespace

void semihost_write(const char *text, uint32_t len) {
    BOARD_CRITICAL_BEGIN();
    for (uint32_t i = 0; i < len; ++i) {
        if (used == sizeof buffer - 1) {
            flush_locked();
        }
        buffer[used++] = text[i];
    }
    BOARD_CRITICAL_END();
}

void semihost_puts(const char *text) {
    uint32_t len = 0;
    while (text[len] != '\0') {
        ++len;
    }
    semihost_write(text, len);
}

void semihost_flush(void) {
    BOARD_CRITICAL_BEGIN();
    flush_locked();
    BOARD_CRITICAL_END();
}

void semihost_exit(uint32_t status) {
    semihost_flush();
    const uint32_t block[2] = {adp_stopped_application_exit, status};
    call(sys_exit_extended, block);
    // Debuggers without the extended call: plain exit, status lost if non-zero.
    // NOLINTNEXTLINE(performance-no-int-to-ptr): SYS_EXIT takes its reason in the pointer's place
    call(sys_exit, reinterpret_cast<const void *>(status == 0 ? adp_stopped_application_exit : 0));
    for (;;) {
    }
}

int32_t semihost_open(const char *path, uint32_t mode) {
    uint32_t len = 0;
    while (path[len] != '\0') {
        ++len;
    }
    const uint32_t block[3] = {reinterpret_cast<uint32_t>(path), mode, len};
    return static_cast<int32_t>(call(sys_open, block));
}

uint32_t semihost_read(int32_t handle, void *buf, uint32_t len) {
    const uint32_t block[3] = {static_cast<uint32_t>(handle), reinterpret_cast<uint32_t>(buf), len};
    return call(sys_read, block);
}

uint32_t semihost_write_file(int32_t handle, const void *buf, uint32_t len) {
    const uint32_t block[3] = {static_cast<uint32_t>(handle), reinterpret_cast<uint32_t>(buf), len};
    return call(sys_write, block);
}

int32_t semihost_seek(int32_t handle, uint32_t position) {
    const uint32_t block[2] = {static_cast<uint32_t>(handle), position};
    return static_cast<int32_t>(call(sys_seek, block));
}

void semihost_close(int32_t handle) {
    const uint32_t block[1] = {static_cast<uint32_t>(handle)};
    call(sys_close, block);
}
