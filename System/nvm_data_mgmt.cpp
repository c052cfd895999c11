// Interim plain store: each write programs the region in place, erasing the
// region's sector first when a bit must rise. To be replaced by the journal.
#include "nvm_data_mgmt.h"

#include "../Boards/flash.h"

namespace {

struct region_t {
    uint32_t addr;
    uint16_t size;
};

constexpr region_t regions[NVM_KV_MAX] = {
    {NVM_KV_SLOT_MGR_ADDR, NVM_KV_SLOT_MGR_SIZE},
    {NVM_KV_SLOT_TBL_ADDR, NVM_KV_SLOT_TBL_SIZE},
    {NVM_KV_LIGHT_DATA_ADDR, NVM_KV_LIGHT_DATA_SIZE},
    {NVM_KV_SCENE_DATA_ADDR, NVM_KV_SCENE_DATA_SIZE},
};

bool fits(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len) {
    return key < NVM_KV_MAX && buf != nullptr && offset <= regions[key].size &&
           len <= regions[key].size - offset;
}

} // namespace

void nvm_init(void) {}

void nvm_read(nvm_kv_t key, uint16_t offset, void *buf, uint16_t len) {
    if (!fits(key, offset, buf, len)) {
        return;
    }
    flash_read(regions[key].addr + offset, buf, len);
}

uint16_t nvm_write(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len) {
    if (!fits(key, offset, buf, len)) {
        return 0;
    }
    const uint32_t addr = regions[key].addr + offset;
    const auto *in = static_cast<const uint8_t *>(buf);
    bool needs_erase = false;
    for (uint16_t i = 0; i < len && !needs_erase; ++i) {
        uint8_t old = 0;
        flash_read(addr + i, &old, 1);
        needs_erase = (in[i] & static_cast<uint8_t>(~old)) != 0;
    }
    if (needs_erase) {
        const uint32_t first = regions[key].addr - regions[key].addr % FLASH_SECTOR_SIZE;
        for (uint32_t s = first; s < regions[key].addr + regions[key].size;
             s += FLASH_SECTOR_SIZE) {
            if (flash_erase_sector(s) != 0) {
                return 0;
            }
        }
    }
    return flash_program(addr, buf, len) == 0 ? len : 0;
}
