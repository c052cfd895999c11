#ifndef SYSTEM_NVM_DATA_MGMT_H
#define SYSTEM_NVM_DATA_MGMT_H
/*
 * Non-volatile key/value store over the board's flash data area
 * (Boards/flash.h: six sectors of 1024 bytes, addressed by offset).
 *
 * Each key owns a region of fixed size; reads and writes address bytes of that
 * region by offset. A call whose key, offset or length does not fit the region,
 * or whose buffer is null, is refused: nvm_write writes nothing and returns 0,
 * nvm_read leaves the buffer untouched. A key never written reads as 0xFF.
 *
 * Calls: the board calls nvm_init once at power-on, before any read or write
 * and before light_ctrl_init, and nvm_prepare where a flash stall harms
 * nothing (thread mode while no fade runs). nvm_read, nvm_write and
 * nvm_prepare run in thread context or in software-timer callbacks (the
 * module saves from one; a board may run them in its millisecond interrupt),
 * never from any other interrupt handler, one at a time. Only nvm_prepare and
 * a hand-over that finds its sector not prepared erase; every other write only
 * programs words.
 * Every call ends in bounded time and stack (docs/store.md has the figures).
 *
 * Layout of the data area (sectors numbered 0..5 by offset / 1024):
 *
 *   sectors 1, 4, 0  ring journal of NVM_KV_SLOT_MGR, NVM_KV_SLOT_TBL and
 *                    NVM_KV_LIGHT_DATA, in that ring order
 *   sectors 2, 3     NVM_KV_SCENE_DATA, plain, at its start
 *   sector 5         scratch for rewriting a scene sector
 *
 * Journal sector: a 16-byte sector header, then 28 slots of 36 bytes.
 *   header 0: magic 0x4C 0x53 0x54 ("LST"), then the format 0x32 ('2')
 *          4: u16 generation, little-endian, one more at every hand-over
 *          6: check: CRC-8 (utilities.h) started from 0x5A over bytes 0..5,
 *             stored as 0 where it comes out as 0xFF
 *          7: u16 complement of the generation, little-endian: an erase cut
 *             short only sets bits, which cannot change a generation and its
 *             complement together
 *          9..15 unused (0xFF)
 *   Headers of the format before (0x31, '1': bytes 7..8 erased) are read as
 *   valid too, never written.
 *   entry, at the start of a slot, one whole version of a key's region: 36
 *   bytes for the slot manager and the light record (one slot), 260 for the
 *   slot table (eight slots, the last 28 bytes left erased)
 *          0: u8 key
 *          1: u16 generation of the sector, little-endian
 *          3: check: CRC-8 started from 0x5A over bytes 0..2 and the region,
 *             stored as 0 where it comes out as 0xFF
 *          4: the region
 *   An entry's region is programmed before its first four bytes, and a sector
 *   header after every entry a hand-over puts in the sector.
 *
 * What counts: a sector counts when its header is valid (magic, format,
 * check, and in format '2' the complement); the head is the counted ring
 * sector with the newest generation (serial order: a is newer than b when
 * (a - b) mod 2^16 is in 1 .. 2^15 - 1). An entry counts
 * when its key is journaled, it fits in the sector, its generation is the
 * sector's and its check matches: an erased, all-zero or torn entry never
 * does. A key's value is its last counted entry in the head or, when the head
 * has none, in the ring sector before it if that one counts with the
 * generation before. Nothing else of the flash is ever read as data.
 *
 * A write merges the new bytes into the key's current region and programs it
 * into the first slots after the head's last used one that read fully erased;
 * a slot that is not erased is passed over, one whose programming fails is
 * abandoned, and the write goes on with the next slot. When the head has no
 * room left (or there is no head), the next ring sector is erased and takes
 * every other key's current entry, then the new one, then its header with the
 * next generation: until that header is complete the old head stays the head.
 * The erase is skipped when nvm_prepare has made that sector ready.
 * So a cut at any point leaves every key its old value or, for the key being
 * written, the new one. Every failed program uses up its slot, so a write
 * gives up after trying at most the head's 28 slots, one erase, and the next
 * sector's 28 slots and header.
 *
 * Scene region: a write merges each sector it touches with the new bytes into
 * the erased scratch sector, erases the sector and copies it back. A cut
 * during such a write may lose that sector's bytes.
 *
 * A flash word is programmed once between erases; only a slot that a failed
 * program left reading erased may be handed out again by a later start-up.
 * RAM: 12 bytes of static state, no heap.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t nvm_kv_t;
enum nvm_kv_e {
    NVM_KV_SLOT_MGR = 0,
    NVM_KV_SLOT_TBL = 1,
    NVM_KV_LIGHT_DATA = 2,
    NVM_KV_SCENE_DATA = 3,
    NVM_KV_MAX = 4
};

/* Region size of each key, in bytes. */
#define NVM_KV_SLOT_MGR_SIZE   32u
#define NVM_KV_SLOT_TBL_SIZE   256u
#define NVM_KV_LIGHT_DATA_SIZE 32u
#define NVM_KV_SCENE_DATA_SIZE (8u * 16u * 16u)

/* Brings the store up from whatever the flash holds: finds the head sector,
 * each journaled key's current entry and where the next entry goes. No flash
 * write; reads at most two sectors. Nothing is prepared after it. */
void nvm_init(void);
/* Copies len bytes from offset `offset` of the key's region into buf. */
void nvm_read(nvm_kv_t key, uint16_t offset, void *buf, uint16_t len);
/* Stores len bytes from buf at offset `offset` of the key's region. Returns
 * len once they are in the flash; 0 when the call is refused or the flash
 * failed: for a journaled key every slot the write tried and the hand-over's
 * erase or programs (its region then reads as before; after a power cut the
 * next start-up may find the new bytes), for the scene region any erase or
 * program. */
uint16_t nvm_write(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len);
/* Erases ahead: makes the ring sector the next hand-over takes ready, so that
 * no write erases before that hand-over. Reads the sector, erases it unless it
 * reads erased. The ring sector after the head holds nothing the store reads.
 * 0 when the sector is ready (already, or now), non-zero when its erase
 * failed: it is not tried again before that hand-over, which then erases the
 * sector itself. */
uint8_t nvm_prepare(void);
/* 1 when nvm_prepare has nothing to do: since start-up it has made the sector
 * the next hand-over takes ready, or failed to. No flash access. */
uint8_t nvm_prepared(void);

#ifdef __cplusplus
}
#endif

#endif
