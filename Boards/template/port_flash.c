/* On-chip flash of the store's data area (Boards/flash.h). */
#include "flash.h"

#include <stdint.h>

/* TODO: where your flash has room for the store, outside the firmware image:
 * the first byte, and the end of what your linker script leaves free (here
 * or on the compiler's command line). */
#ifndef PORT_FLASH_DATA_ADDR
#define PORT_FLASH_DATA_ADDR 0x0800E800u
#define PORT_FLASH_DATA_END  0x08011800u
#endif

/* TODO: your flash's erase page, the smallest unit it erases (1024 bytes on
 * some Cortex-M0 parts, 2048 on others). */
#ifndef PORT_FLASH_PAGE_SIZE
#define PORT_FLASH_PAGE_SIZE 2048u
#endif

/* Each of the store's FLASH_SECTOR_SIZE sectors takes whole pages of its own:
 * one page per sector on parts with larger pages (the data area grows, the
 * store's layout does not change), several on parts with smaller ones. Two
 * sectors in one page would be erased together: the store would lose the
 * journal's head when it prepares the next sector. */
#define PORT_FLASH_SECTOR_PAGES                                                                    \
    ((FLASH_SECTOR_SIZE + PORT_FLASH_PAGE_SIZE - 1u) / PORT_FLASH_PAGE_SIZE)
#define PORT_FLASH_SECTOR_STRIDE (PORT_FLASH_SECTOR_PAGES * PORT_FLASH_PAGE_SIZE)
_Static_assert(PORT_FLASH_DATA_ADDR % PORT_FLASH_PAGE_SIZE == 0u,
               "the store's data area must start on an erase page");
_Static_assert(PORT_FLASH_DATA_END - PORT_FLASH_DATA_ADDR >=
                   FLASH_DATA_SECTOR_COUNT * PORT_FLASH_SECTOR_STRIDE,
               "the data area must hold every sector in pages of its own");

/* The flash address of data-area offset `offset` (inside the area). */
static uint32_t port_flash_address(uint32_t offset) {
    return PORT_FLASH_DATA_ADDR + offset / FLASH_SECTOR_SIZE * PORT_FLASH_SECTOR_STRIDE +
           offset % FLASH_SECTOR_SIZE;
}

/* The byte at flash address `address`, for memory-mapped flash. */
static uint8_t port_flash_byte(uint32_t address) {
    /* NOLINTNEXTLINE(performance-no-int-to-ptr): memory-mapped flash is read at its address */
    return *(const volatile uint8_t *)(uintptr_t)address;
}

/* Contract: len bytes from `offset` in the data area into buf; bytes outside
 * the area read 0xFF. Called from the module's saves and start-up (thread
 * mode or the millisecond interrupt, never another interrupt). Written for
 * memory-mapped flash. */
void flash_read(uint32_t offset, void *buf, uint32_t len) {
    uint8_t *out = (uint8_t *)buf;
    for (uint32_t i = 0; i < len; ++i) {
        const uint32_t at = offset + i; /* past the area, also where it wraps: 0xFF */
        out[i] =
            at >= offset && at < FLASH_DATA_SIZE ? port_flash_byte(port_flash_address(at)) : 0xFFu;
    }
}

/* Contract: programs len bytes at `offset`, in address order; programming
 * only clears bits. 0 on success; non-zero when refused (outside the area,
 * a bit that would have to rise) or when the bytes do not read back as
 * written. */
uint8_t flash_program(uint32_t offset, const void *buf, uint32_t len) {
    /* TODO: unlock, program in the flash's unit (half-word, word; bytes
     * outside the range as 0xFF), each at port_flash_address of its offset
     * (a range may run on into the next sector), wait for each, lock,
     * compare. On parts that stall the core while programming, each unit
     * delays the fade tick by its programming time. */
    (void)offset;
    (void)buf;
    (void)len;
    return 1;
}

/* Contract: sets the FLASH_SECTOR_SIZE bytes of the sector at `offset` (a
 * multiple of FLASH_SECTOR_SIZE) to 0xFF. 0 on success, non-zero when refused
 * or when the sector does not read back erased. The store erases only ahead,
 * while the lamp is quiet (board_port_idle), or in a hand-over that found no
 * prepared sector. */
uint8_t flash_erase_sector(uint32_t offset) {
    /* TODO: unlock, erase the PORT_FLASH_SECTOR_PAGES pages from
     * port_flash_address(offset), wait for each, lock, check. */
    (void)offset;
    return 1;
}
