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
 *   sectors 0, 1, 4, 5  journal ring for NVM_KV_SLOT_MGR, NVM_KV_SLOT_TBL and
 *                       NVM_KV_LIGHT_DATA (ring order 0, 1, 4, 5)
 *   sectors 2, 3        NVM_KV_SCENE_DATA, plain, at NVM_KV_SCENE_DATA_ADDR
 *
 * The region starts of the key table below are where each region lies for the
 * scene key; for journaled keys they only name the region.
 *
 * Journal sector: an 8-byte header, then entries back to back.
 *   header  0: u32 sector sequence number (the highest is the head)
 *           4: u16 0x4A52
 *           6: u16 CRC-16 of bytes 0..5, programmed after them
 *   A sector whose header does not check is free: erased, or left by an
 *   interrupted erase or open, and is erased again before use.
 * Entry (all fields little-endian, entries start on 4-byte boundaries):
 *           0: u32 entry sequence number, one counter for all keys
 *           4: u8 key, 5: u8 ~key
 *           6: u16 length n: the region holds bytes 0..n-1, the rest read 0xFF
 *           8: u16 header check, CRC-16 of bytes 0..7
 *          10: u16 CRC-16 of bytes 0..9 and the data, programmed last
 *          12: n data bytes, padded with 0xFF to a multiple of 4
 *   Neither CRC is ever 0xFFFF (the sequence number is skipped on that), so an
 *   unprogrammed field never checks. An entry counts once its last CRC checks;
 *   a key reads its counted entry with the highest sequence number. An entry
 *   whose header check fails was cut while its header was programmed, before
 *   any data: the scan steps over its 12 bytes. Bytes past the last entry that
 *   are not 0xFF close the sector to further entries.
 *   CRC-16: polynomial 0x1021, initial value 0xFFFF, not reflected, no final
 *   XOR; check value over "123456789": 0x29B1.
 *
 * Every write of a journaled key appends the whole new region prefix (old
 * bytes merged with the new ones), so a cut at any point leaves either the old
 * or the new value. When the head sector is full the next free sector is
 * erased if needed and opened; if no free sector is left after that, the
 * entries still current in the oldest sector are copied into the new head and
 * the oldest sector is erased. nvm_init finishes such a move when a cut
 * stopped it (all four ring sectors open).
 *
 * Scene region: programmed in place when no bit has to rise; otherwise the
 * affected sector is merged with the new bytes into the journal's free sector,
 * erased, copied back, and the free sector erased again. A cut during such a
 * write may lose that scene sector.
 *
 * RAM: 14 bytes of static state, 16-byte buffers on the stack; no heap.
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

/* Brings the store up from what the flash holds: finds the newest entry of
 * every key and finishes an interrupted sector move. Called by the board once
 * at power-on, before any read or write; bounded time (a read of the journal
 * sectors and at most one move). */
void nvm_init(void);
void nvm_read(nvm_kv_t key, uint16_t offset, void *buf, uint16_t len);
/* Returns the number of bytes written: len on success, less on failure. */
uint16_t nvm_write(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len);

#ifdef __cplusplus
}
#endif

#endif
