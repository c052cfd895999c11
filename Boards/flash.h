#ifndef BOARDS_FLASH_H
#define BOARDS_FLASH_H
/*
 * On-chip NOR flash of the data area, as the non-volatile store sees it.
 * Erased bytes read 0xFF; programming only clears bits (1 -> 0); an erase sets
 * a whole sector of FLASH_SECTOR_SIZE bytes back to 0xFF. Addresses are
 * absolute; bytes outside the data area read 0xFF. Both write calls return 0
 * on success, non-zero on failure (a refused or interrupted operation may
 * leave part of its range changed). A program goes in address order: one cut
 * short has programmed a leading part of its range (on the chip, up to the
 * 32-bit word it stopped in).
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void flash_read(uint32_t addr, void *buf, uint32_t len);
uint8_t flash_program(uint32_t addr, const void *buf, uint32_t len);
uint8_t flash_erase_sector(uint32_t sector_addr);

#ifdef __cplusplus
}
#endif

#endif
