/* On-chip flash of the store's data area (Boards/flash.h). */
#include "flash.h"

/* TODO: where your flash has FLASH_DATA_SECTOR_COUNT erasable sectors of
 * FLASH_SECTOR_SIZE bytes free for the store, outside the firmware image. */
#define PORT_FLASH_DATA_ADDR 0x0800E800u

/* Contract: len bytes from `offset` in the data area into buf; bytes outside
 * the area read 0xFF. Called from the module's save and start-up (not from
 * interrupts). */
void flash_read(uint32_t offset, void *buf, uint32_t len) {
    /* TODO: copy from PORT_FLASH_DATA_ADDR + offset (memory-mapped flash). */
    (void)offset;
    (void)buf;
    (void)len;
}

/* Contract: programs len bytes at `offset`, in address order; programming
 * only clears bits. 0 on success; non-zero when refused (outside the area,
 * a bit that would have to rise) or when the bytes do not read back as
 * written. */
uint8_t flash_program(uint32_t offset, const void *buf, uint32_t len) {
    /* TODO: unlock, program in the flash's unit (half-word, word), wait,
     * lock, compare. */
    (void)offset;
    (void)buf;
    (void)len;
    return 1;
}

/* Contract: sets the FLASH_SECTOR_SIZE bytes of the sector at `offset` (a
 * multiple of FLASH_SECTOR_SIZE) to 0xFF. 0 on success, non-zero when refused
 * or when the sector does not read back erased. */
uint8_t flash_erase_sector(uint32_t offset) {
    /* TODO: unlock, erase the page at PORT_FLASH_DATA_ADDR + offset, wait,
     * lock, check. */
    (void)offset;
    return 1;
}
