#ifndef SYSTEM_NVM_DATA_MGMT_H
#define SYSTEM_NVM_DATA_MGMT_H
/*
 * Non-volatile key/value store over the on-chip flash (Boards/flash.h).
 *
 * Each key owns a region of fixed size; reads and writes address bytes of that
 * region by offset. A call whose key, offset or length does not fit the region,
 * or whose buffer is null, is refused: nvm_write writes nothing and returns 0,
 * nvm_read leaves the buffer untouched. A key never written reads as 0xFF.
 *
 * Layout of the data area (FLASH_DATA_SECTOR_COUNT sectors from
 * FLASH_DATA_BASE_ADDR, numbered 0..5 here):
 *
 *   sectors 1 and 4  journal of NVM_KV_LIGHT_DATA (sector 1 at its region start)
 *   sector 0         NVM_KV_SLOT_MGR and NVM_KV_SLOT_TBL, plain, at their starts
 *   sectors 2, 3     NVM_KV_SCENE_DATA, plain, at its start
 *   sector 5         scratch for rewriting a plain sector
 *
 * Journal: 28 slots of 36 bytes from the start of each of its two sectors.
 *   0: u16 sequence number, little-endian, 15 bits, programmed first
 *   2: the key's whole 32-byte region
 *  34: u8 check: CRC-8 (polynomial 0x07, initial value 0, not reflected) of
 *      bytes 0..33, 0 where that comes out as 0xFF; programmed last
 *  35: 0xFF
 * A slot whose first four bytes read 0xFF is free. An entry counts once its
 * check matches; a torn one never does (an unprogrammed check reads 0xFF). The
 * key reads its counted entry with the newest sequence number (serial order:
 * a is newer than b when (a - b) mod 2^15 < 2^14). A write merges the new
 * bytes into the current region and programs it into the slot after the last
 * used one of the newest entry's sector; when that sector is full, its partner
 * is erased and takes the entry in its first slot. The current entry is never
 * touched until the new one is complete, so a cut at any point leaves the old
 * or the new value. The pair takes one erase per 28 light saves, so each of
 * its sectors one per 56.
 *
 * Plain regions: a write merges each sector it touches with the new bytes into
 * the erased scratch sector, erases the sector and copies it back. A cut
 * during such a write may lose that sector's bytes.
 *
 * Every flash word is programmed at most twice between erases.
 * RAM: 12 bytes of static state; a 36-byte buffer on the stack; no heap.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef FLASH_START_ADDR
#define FLASH_START_ADDR 0x08000000u /* start of on-chip flash; a board may override */
#endif
#define FLASH_SECTOR_SIZE       1024u
#define FLASH_DATA_SECTOR_FIRST 58u
#define FLASH_DATA_SECTOR_COUNT 6u
#define FLASH_DATA_BASE_ADDR    (FLASH_START_ADDR + FLASH_DATA_SECTOR_FIRST * FLASH_SECTOR_SIZE)
#define FLASH_DATA_SIZE         (FLASH_DATA_SECTOR_COUNT * FLASH_SECTOR_SIZE)

typedef uint8_t nvm_kv_t;
enum nvm_kv_e {
    NVM_KV_SLOT_MGR = 0,
    NVM_KV_SLOT_TBL = 1,
    NVM_KV_LIGHT_DATA = 2,
    NVM_KV_SCENE_DATA = 3,
    NVM_KV_MAX = 4
};

/* Region sizes and starts of the key table. */
#define NVM_KV_SLOT_MGR_SIZE   32u
#define NVM_KV_SLOT_TBL_SIZE   256u
#define NVM_KV_LIGHT_DATA_SIZE 32u
#define NVM_KV_SCENE_DATA_SIZE (8u * 16u * 16u)
#define NVM_KV_SLOT_MGR_ADDR   FLASH_DATA_BASE_ADDR
#define NVM_KV_SLOT_TBL_ADDR   (FLASH_DATA_BASE_ADDR + 32u)
#define NVM_KV_LIGHT_DATA_ADDR (FLASH_DATA_BASE_ADDR + FLASH_SECTOR_SIZE)
#define NVM_KV_SCENE_DATA_ADDR (FLASH_DATA_BASE_ADDR + 2u * FLASH_SECTOR_SIZE)

/* Brings the store up from what the flash holds: finds the newest complete
 * light entry and the next free slot. Called by the board once at power-on,
 * before any read or write (and before light_ctrl_init); bounded time (a read
 * of the two journal sectors), no flash write. */
void nvm_init(void);
void nvm_read(nvm_kv_t key, uint16_t offset, void *buf, uint16_t len);
/* Returns the number of bytes written: len on success, less on failure. */
uint16_t nvm_write(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len);

#ifdef __cplusplus
}
#endif

#endif
