#ifndef SYSTEM_NVM_DATA_MGMT_H
#define SYSTEM_NVM_DATA_MGMT_H
/*
 * Non-volatile key/value store over the on-chip flash (Boards/flash.h).
 *
 * Each key owns a region of fixed size; reads and writes address bytes of that
 * region by offset. A call whose key, offset or length does not fit the region,
 * or whose buffer is null, is refused: nvm_write writes nothing and returns 0,
 * nvm_read leaves the buffer untouched. A key never written reads as 0xFF.
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

/* Brings the store up from what the flash holds; called by the board once at
 * power-on, before any read or write. */
void nvm_init(void);
void nvm_read(nvm_kv_t key, uint16_t offset, void *buf, uint16_t len);
/* Returns the number of bytes written: len on success, less on failure. */
uint16_t nvm_write(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len);

#ifdef __cplusplus
}
#endif

#endif
