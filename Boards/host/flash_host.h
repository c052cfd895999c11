#ifndef BOARDS_HOST_FLASH_HOST_H
#define BOARDS_HOST_FLASH_HOST_H
/*
 * Controls of the simulated flash data area (Boards/flash.h): FLASH_DATA_SIZE
 * bytes, addressed by offset. It survives board resets, like the chip's flash.
 */
#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Every byte 0xFF, counters cleared, faults off. */
void flash_host_erase_all(void);
/* Image file of FLASH_DATA_SIZE bytes (byte n = data-area offset n). Load: 0
 * on success; a missing file leaves the flash erased and returns 0; a short or
 * unreadable file returns 1. */
uint8_t flash_host_load(const char *path);
uint8_t flash_host_save(const char *path);
/* The whole data area, for tests that inspect or corrupt bytes. */
uint8_t *flash_host_image(void);

/* While set, every program and erase is refused with nothing changed. */
void flash_host_refuse_writes(bool refuse);
/* Worn cells: a program touching [offset, offset + len) leaves those bytes as
 * they are (the rest of its range is programmed) and reports failure. len 0
 * heals them. */
void flash_host_wear_out(uint32_t offset, uint32_t len);
/* The n-th program or erase from now (1 = the next) is cut short: a program
 * stores only the first half of its bytes, an erase leaves the second half of
 * the sector as it was; the call reports failure. 0 disarms. */
void flash_host_cut_at(uint32_t n);
/* Power fails during the n-th program or erase from now (1 = the next): that
 * operation keeps only its first `bytes` bytes (a program stores them, an
 * erase sets them back to 0xFF from the start of the sector) and reports
 * failure, and every later program or erase is refused with nothing changed
 * until flash_host_power_restore(). 0 disarms. */
void flash_host_power_cut_at(uint32_t n, uint32_t bytes);
/* The same, but the cut leaves arbitrary bits, drawn from `seed`: a cut erase
 * leaves each byte of the sector erased, as it was, or random; a cut program
 * stores a leading part of its bytes and clears some of the bits it was to
 * clear in the byte after it. */
void flash_host_power_cut_scrambled(uint32_t n, uint32_t seed);
/* The same, but a cut erase only raises bits, as a NOR erase stopped early
 * does: each 0 bit of the sector reads 1 with a chance of 1 in `one_in`
 * (drawn from `seed`), every 1 bit stays 1. */
void flash_host_power_cut_raising(uint32_t n, uint32_t seed, uint32_t one_in);
void flash_host_power_restore(void);
/* Told of every program ('P') or erase ('E') attempted, before it happens;
 * null stops it. */
typedef void (*flash_host_op_fn)(void *ctx, char kind, uint32_t offset, uint32_t len);
void flash_host_set_op_listener(flash_host_op_fn fn, void *ctx);
/* Program and erase operations attempted since the last erase_all. */
uint32_t flash_host_operations(void);
uint32_t flash_host_erase_count(uint32_t sector_index);
/* Programs refused because they would have set a bit from 0 to 1. */
uint32_t flash_host_nor_violations(void);
/* The most programs any 32-bit word took between two erases of it (NOR parts
 * limit them), since the last erase_all. */
uint32_t flash_host_most_word_programs(void);

#ifdef __cplusplus
}
#endif

#endif
