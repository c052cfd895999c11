#ifndef BOARDS_FLASH_H
#define BOARDS_FLASH_H
/*
 * The store's data area: what a board provides to System/nvm_data_mgmt.
 *
 * FLASH_DATA_SECTOR_COUNT erasable sectors of FLASH_SECTOR_SIZE bytes, seen as
 * one range of FLASH_DATA_SIZE bytes. Every call takes an offset in bytes from
 * the start of that range (0 .. FLASH_DATA_SIZE); the board maps it onto its
 * own flash, wherever its data area lies.
 *
 * NOR behaviour: an erased byte reads 0xFF; a program only clears bits
 * (1 -> 0); only an erase sets bits again, a whole sector at a time.
 *
 * flash_read: any offset and length; bytes outside the data area read 0xFF.
 *   Never fails.
 * flash_program: any offset and length, no alignment needed. Returns 0 when
 *   every byte of the range reads back as given. Non-zero otherwise:
 *   - a range outside the data area, a null buffer, or a byte that would need
 *     a bit raised from 0 to 1: refused, nothing changed;
 *   - a failure during programming (a byte that does not read back as given,
 *     a power cut): a leading part of the range may be programmed, and the
 *     byte (on word-programming chips, the 32-bit word) it stopped in may hold
 *     any mix of its old and new bits; nothing past it changes.
 *   Bytes go in increasing offset order.
 * flash_erase_sector: the offset of a sector (a multiple of FLASH_SECTOR_SIZE
 *   inside the data area; anything else is refused, nothing changed). Returns
 *   0 when the whole sector reads 0xFF. Non-zero on failure: an erase cut
 *   short (a power cut, a worn sector) may leave the sector holding any bits,
 *   some erased, some old, some neither.
 *
 * Calling context: thread context or the software-timer callbacks (which a
 * board may run in its millisecond interrupt), never from any other interrupt
 * handler, one call at a time (not reentrant). Program and erase block until
 * the flash has finished, so a save delays the fade tick by that long.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FLASH_SECTOR_SIZE       1024u
#define FLASH_DATA_SECTOR_COUNT 6u
#define FLASH_DATA_SIZE         (FLASH_DATA_SECTOR_COUNT * FLASH_SECTOR_SIZE)

void flash_read(uint32_t offset, void *buf, uint32_t len);
uint8_t flash_program(uint32_t offset, const void *buf, uint32_t len);
uint8_t flash_erase_sector(uint32_t offset);

#ifdef __cplusplus
}
#endif

#endif
