// The store's front: checks every call against the key table, sends the small
// keys to the journal and keeps the scene region as plain flash.
#include "nvm_data_mgmt.h"

#include "nvm_journal.h"

#include "../Boards/flash.h"

namespace {

constexpr uint16_t region_size[NVM_KV_MAX] = {NVM_KV_SLOT_MGR_SIZE, NVM_KV_SLOT_TBL_SIZE,
                                              NVM_KV_LIGHT_DATA_SIZE, NVM_KV_SCENE_DATA_SIZE};
constexpr uint32_t sector_size = FLASH_SECTOR_SIZE;
constexpr uint16_t chunk = 16;
static_assert(NVM_KV_SCENE_DATA_ADDR % FLASH_SECTOR_SIZE == 0, "scene region owns its sectors");

bool fits(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len) {
    return key < NVM_KV_MAX && buf != nullptr && offset <= region_size[key] &&
           len <= region_size[key] - offset;
}

bool programs_without_erase(uint32_t addr, const uint8_t *in, uint32_t n) {
    uint8_t b[chunk];
    for (uint32_t pos = 0; pos < n; pos += chunk) {
        const uint32_t m = n - pos < chunk ? n - pos : chunk;
        flash_read(addr + pos, b, m);
        for (uint32_t i = 0; i < m; ++i) {
            if ((in[pos + i] & static_cast<uint8_t>(~b[i])) != 0) {
                return false;
            }
        }
    }
    return true;
}

bool program_checked(uint32_t addr, const uint8_t *in, uint32_t n) {
    if (flash_program(addr, in, n) != 0) {
        return false;
    }
    uint8_t b[chunk];
    for (uint32_t pos = 0; pos < n; pos += chunk) {
        const uint32_t m = n - pos < chunk ? n - pos : chunk;
        flash_read(addr + pos, b, m);
        for (uint32_t i = 0; i < m; ++i) {
            if (b[i] != in[pos + i]) {
                return false;
            }
        }
    }
    return true;
}

// Copies sector `from` onto the erased sector `to`, with bytes [at, at + n) of
// `from` replaced by `in`; erased chunks are left alone.
bool copy_sector(uint32_t from, uint32_t to, uint32_t at, const uint8_t *in, uint32_t n) {
    uint8_t b[chunk];
    for (uint32_t pos = 0; pos < sector_size; pos += chunk) {
        flash_read(from + pos, b, chunk);
        bool erased = true;
        for (uint32_t i = 0; i < chunk; ++i) {
            const uint32_t a = from + pos + i;
            if (a >= at && a - at < n) {
                b[i] = in[a - at];
            }
            erased = erased && b[i] == 0xFF;
        }
        if (!erased && !program_checked(to + pos, b, chunk)) {
            return false;
        }
    }
    return true;
}

// One sector's share of a scene write: in place when no bit has to rise, else
// through the journal's free sector.
bool scene_write_in_sector(uint32_t addr, const uint8_t *in, uint32_t n) {
    if (programs_without_erase(addr, in, n)) {
        return program_checked(addr, in, n);
    }
    const uint32_t sector = addr - addr % sector_size;
    uint32_t scratch = 0;
    return nvm_journal::scratch_sector(&scratch) && copy_sector(sector, scratch, addr, in, n) &&
           flash_erase_sector(sector) == 0 && copy_sector(scratch, sector, 0, nullptr, 0) &&
           flash_erase_sector(scratch) == 0;
}

bool scene_write(uint16_t offset, const uint8_t *in, uint16_t len) {
    uint32_t addr = NVM_KV_SCENE_DATA_ADDR + offset;
    uint32_t left = len;
    while (left > 0) {
        const uint32_t room = sector_size - addr % sector_size;
        const uint32_t n = left < room ? left : room;
        if (!scene_write_in_sector(addr, in, n)) {
            return false;
        }
        addr += n;
        in += n;
        left -= n;
    }
    return true;
}

} // namespace

void nvm_init(void) {
    nvm_journal::init();
}

void nvm_read(nvm_kv_t key, uint16_t offset, void *buf, uint16_t len) {
    if (!fits(key, offset, buf, len)) {
        return;
    }
    if (key < nvm_journal::key_count) {
        nvm_journal::read(key, offset, static_cast<uint8_t *>(buf), len);
    } else {
        flash_read(NVM_KV_SCENE_DATA_ADDR + offset, buf, len);
    }
}

uint16_t nvm_write(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len) {
    if (!fits(key, offset, buf, len) || len == 0) {
        return 0;
    }
    const auto *in = static_cast<const uint8_t *>(buf);
    const bool ok = key < nvm_journal::key_count ? nvm_journal::write(key, offset, in, len)
                                                 : scene_write(offset, in, len);
    return ok ? len : 0;
}
