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
 *   sectors 1, 4, 0  ring journal of NVM_KV_SLOT_MGR, NVM_KV_SLOT_TBL and
 *                    NVM_KV_LIGHT_DATA, in that ring order
 *   sectors 2, 3     NVM_KV_SCENE_DATA, plain, at its start
 *   sector 5         scratch for rewriting a scene sector
 *
 * Journal entry, one whole version of a key's region, packed from the start of
 * a sector (36 bytes for the slot manager and the light record, 260 for the
 * slot table):
 *   0: u8 key, programmed first (0xFF: the rest of the sector is free)
 *   1: u16 sequence number, little-endian, one more for every entry written
 *   3: u8 check: CRC-8 (polynomial 0x07, initial value 0, not reflected) of
 *      bytes 0..2 and then of the region, 0 where that comes out as 0xFF;
 *      programmed last
 *   4: the region
 * An entry counts once its check matches; a torn one never does (an
 * unprogrammed check reads 0xFF) and its space stays used. A byte 0 that is no
 * journaled key ends the sector's entries. A key reads its newest counted
 * entry in the head sector: the one holding the entry with the newest sequence
 * number (serial order: a is newer than b when (a - b) mod 2^16 < 2^15), or,
 * when a key the ring holds is missing from it (a hand-over cut short), the
 * sector before it in the ring.
 *
 * A write merges the new bytes into the key's current region and appends it to
 * the head sector. When the entry does not fit, the next sector of the ring
 * (the oldest) is erased and takes first every other key's current entry, then
 * the new one. No current entry is touched until the new one is complete, so a
 * cut at any point leaves every key its old value or, for the key being
 * written, the new one. Light saves alone take one erase per 28; with the slot
 * regions written, one per 20; each sector gets a third of the erases.
 *
 * Scene region: a write merges each sector it touches with the new bytes into
 * the erased scratch sector, erases the sector and copies it back. A cut
 * during such a write may lose that sector's bytes.
 *
 * Every flash word is programmed at most twice between erases.
 * RAM: 20 bytes of static state, no heap; on the Cortex-M0 (-Os) 128 bytes of
 * stack at start-up, 152 for a write, 208 for a failed one (it rescans).
 * Start-up reads the three ring sectors once.
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

/* Region sizes of the key table, and where each region starts in flash for
 * keys kept plain (the journaled keys' entries live in the ring above). */
#define NVM_KV_SLOT_MGR_SIZE   32u
#define NVM_KV_SLOT_TBL_SIZE   256u
#define NVM_KV_LIGHT_DATA_SIZE 32u
#define NVM_KV_SCENE_DATA_SIZE (8u * 16u * 16u)
#define NVM_KV_SLOT_MGR_ADDR   FLASH_DATA_BASE_ADDR
#define NVM_KV_SLOT_TBL_ADDR   (FLASH_DATA_BASE_ADDR + 32u)
#define NVM_KV_LIGHT_DATA_ADDR (FLASH_DATA_BASE_ADDR + FLASH_SECTOR_SIZE)
#define NVM_KV_SCENE_DATA_ADDR (FLASH_DATA_BASE_ADDR + 2u * FLASH_SECTOR_SIZE)

/* Brings the store up from what the flash holds: finds the head sector, the
 * newest complete entry of each journaled key and where the next entry goes.
 * Called by the board once at power-on, before any read or write (and before
 * light_ctrl_init); bounded time (a read of the three ring sectors), no flash
 * write. */
void nvm_init(void);
void nvm_read(nvm_kv_t key, uint16_t offset, void *buf, uint16_t len);
/* Returns the number of bytes written: len on success, less on failure. */
uint16_t nvm_write(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len);

#ifdef __cplusplus
}
#endif

#endif
