// The store: the light record in a journal over a pair of sectors, the other
// regions as plain flash rewritten through a scratch sector (layout in
// nvm_data_mgmt.h). One file and few branches: the module and its services
// share 8 KiB of flash on the Cortex-M0.
#include "nvm_data_mgmt.h"

#include "utilities.h"

#include "../Boards/flash.h"

#include <string.h>

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "a slot's first word is read whole, on a little-endian CPU"
#endif

namespace {

constexpr uint32_t sector = FLASH_SECTOR_SIZE;
constexpr uint32_t slot = 36;    // sequence number, region, check, 0xFF
constexpr uint32_t checked = 34; // sequence number and region
constexpr uint32_t chunk = 16;   // bytes of a plain rewrite programmed at a time
constexpr uint32_t serial_half = 0x4000;
constexpr uint32_t ring[2] = {NVM_KV_LIGHT_DATA_ADDR, FLASH_DATA_BASE_ADDR + 4 * sector};
constexpr uint32_t scratch = FLASH_DATA_BASE_ADDR + 5 * sector;
constexpr uint32_t region_addr[NVM_KV_MAX] = {NVM_KV_SLOT_MGR_ADDR, NVM_KV_SLOT_TBL_ADDR,
                                              NVM_KV_LIGHT_DATA_ADDR, NVM_KV_SCENE_DATA_ADDR};
constexpr uint16_t region_size[NVM_KV_MAX] = {NVM_KV_SLOT_MGR_SIZE, NVM_KV_SLOT_TBL_SIZE,
                                              NVM_KV_LIGHT_DATA_SIZE, NVM_KV_SCENE_DATA_SIZE};
static_assert(checked == 2 + NVM_KV_LIGHT_DATA_SIZE && slot % 4 == 0, "entry layout");
static_assert(FLASH_DATA_BASE_ADDR % FLASH_SECTOR_SIZE == 0 &&
                  NVM_KV_LIGHT_DATA_ADDR % FLASH_SECTOR_SIZE == 0,
              "sectors found by masking addresses");

// The whole RAM of the store.
struct journal_t {
    uint32_t current; // newest complete light entry, 0 if none
    uint32_t next;    // where the next entry goes
    uint32_t seq;     // sequence number of `current`
};
journal_t j;

// The check as stored: never 0xFF, so an unprogrammed check never matches.
uint32_t stored(uint32_t check) {
    return check == 0xFF ? 0 : check;
}

// Appends the region, old bytes merged with the new ones. When the head
// sector is full its partner is erased first: the current entry stays where it
// is until the new one is complete.
bool journal_write(uint32_t off, const uint8_t *in, uint32_t len) {
    uint8_t e[slot];
    flash_read(j.current, e, slot); // all 0xFF from address 0
    memcpy(e + 2 + off, in, len);
    const uint32_t seq = (j.seq + 1) & 0x7FFFu; // 15 bits: never reads as free
    e[0] = static_cast<uint8_t>(seq);
    e[1] = static_cast<uint8_t>(seq >> 8);
    e[checked] = static_cast<uint8_t>(stored(check_sum(e, checked)));
    uint32_t at = j.next;
    bool ok = true;
    if ((at & (sector - 1)) + slot > sector) {
        at = (at & ~(sector - 1)) ^ ring[0] ^ ring[1]; // the partner
        ok = flash_erase_sector(at) == 0;
    }
    j.next = at + slot; // used up even if torn
    if (ok && flash_program(at, e, checked) == 0 &&
        flash_program(at + checked, e + checked, 1) == 0) { // the check last
        j.current = at;
        j.seq = seq;
        return true;
    }
    nvm_init(); // what the flash holds decides, as after a restart
    return false;
}

// Programs sector `to` (erased) with sector `from`, bytes [off, off + len) of
// it replaced by `in`; `off` wraps, so `in` may start in an earlier sector.
bool copy(uint32_t from, uint32_t to, uint32_t off, uint32_t len, const uint8_t *in) {
    uint8_t b[chunk];
    for (uint32_t pos = 0; pos < sector; pos += chunk) {
        flash_read(from + pos, b, chunk);
        for (uint32_t i = 0; i < chunk; ++i) {
            const uint32_t at = pos + i - off;
            if (at < len) {
                b[i] = in[at];
            }
        }
        if (flash_program(to + pos, b, chunk) != 0) {
            return false;
        }
    }
    return true;
}

// Each sector the write touches is merged into the scratch sector, erased and
// copied back.
bool plain_write(uint32_t addr, const uint8_t *in, uint32_t len) {
    for (uint32_t s = addr - addr % sector; s < addr + len; s += sector) {
        for (uint32_t back = 0; back < 2; ++back) {
            const uint32_t to = back != 0 ? s : scratch;
            if (flash_erase_sector(to) != 0 ||
                !copy(back != 0 ? scratch : s, to, addr - s, back != 0 ? 0 : len, in)) {
                return false;
            }
        }
    }
    return true;
}

bool fits(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len) {
    return key < NVM_KV_MAX && buf != nullptr && offset <= region_size[key] &&
           len <= region_size[key] - offset;
}

} // namespace

// Finds the newest complete entry, and the slot after the last one used in
// its sector: a torn entry is stepped over, never programmed again.
void nvm_init(void) {
    uint32_t head = ring[0];
    j = journal_t{0, head, 0};
    for (uint32_t base = ring[0]; base != 0; base = base == ring[0] ? ring[1] : 0) {
        for (uint32_t at = base; at + slot <= base + sector; at += slot) {
            uint8_t e[slot];
            flash_read(at, e, slot);
            uint32_t first = 0;
            memcpy(&first, e, sizeof first);
            if (first == 0xFFFFFFFFu) {
                continue; // free: the sequence number opens the first word programmed
            }
            const uint32_t seq = first & 0xFFFFu;
            if (stored(check_sum(e, checked)) == e[checked] &&
                (j.current == 0 || ((seq - j.seq) & serial_half) == 0)) {
                j.current = at;
                j.seq = seq;
                head = at;
            }
            if ((at ^ head) < sector) {
                j.next = at + slot;
            }
        }
    }
}

void nvm_read(nvm_kv_t key, uint16_t offset, void *buf, uint16_t len) {
    if (fits(key, offset, buf, len)) {
        // Before the first light entry: from address 2, outside the data area.
        flash_read((key == NVM_KV_LIGHT_DATA ? j.current + 2 : region_addr[key]) + offset, buf,
                   len);
    }
}

uint16_t nvm_write(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len) {
    if (!fits(key, offset, buf, len) || len == 0) {
        return 0;
    }
    const auto *in = static_cast<const uint8_t *>(buf);
    const bool ok = key == NVM_KV_LIGHT_DATA ? journal_write(offset, in, len)
                                             : plain_write(region_addr[key] + offset, in, len);
    return ok ? len : 0;
}
