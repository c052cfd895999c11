// The store: the slot manager, slot table and light record journaled over a
// ring of three sectors, the scene region as plain flash rewritten through a
// scratch sector (layout in nvm_data_mgmt.h). One file and few branches: the
// module and its services share 8 KiB of flash on the Cortex-M0.
#include "nvm_data_mgmt.h"

#include "utilities.h"

#include "../Boards/flash.h"

namespace {

constexpr uint32_t sector = FLASH_SECTOR_SIZE;
constexpr uint32_t header = 4; // key, sequence number, check
constexpr uint32_t check_at = 3;
constexpr uint32_t chunk = 16; // region bytes programmed at a time
constexpr uint32_t ring_size = 3;
constexpr nvm_kv_t journaled = NVM_KV_SCENE_DATA; // the keys below it
constexpr uint32_t data_sector(uint32_t s) {
    return FLASH_DATA_BASE_ADDR + s * sector;
}
constexpr uint32_t ring[ring_size] = {data_sector(1), data_sector(4), data_sector(0)};
constexpr uint32_t scratch = data_sector(5);
constexpr uint16_t region_size[NVM_KV_MAX] = {NVM_KV_SLOT_MGR_SIZE, NVM_KV_SLOT_TBL_SIZE,
                                              NVM_KV_LIGHT_DATA_SIZE, NVM_KV_SCENE_DATA_SIZE};
static_assert(NVM_KV_SLOT_MGR_SIZE % chunk == 0 && NVM_KV_SLOT_TBL_SIZE % chunk == 0 &&
                  NVM_KV_LIGHT_DATA_SIZE % chunk == 0 && NVM_KV_SCENE_DATA_SIZE % sector == 0,
              "regions are whole chunks, the scene whole sectors");
static_assert(3 * header + NVM_KV_SLOT_MGR_SIZE + NVM_KV_SLOT_TBL_SIZE + NVM_KV_LIGHT_DATA_SIZE <=
                  sector,
              "a hand-over fits one entry of every key in a sector");

// The whole RAM of the store.
struct journal_t {
    uint32_t current[journaled]; // newest complete entry of each key, 0 if none
    uint16_t head;               // ring index of the sector taking entries
    uint16_t next;               // offset in it of the next entry
    uint16_t seq;                // newest sequence number in the ring
};
journal_t j;

uint32_t entry_size(nvm_kv_t key) {
    return header + region_size[key];
}

// The check as stored: never 0xFF, so an unprogrammed check never matches.
uint8_t stored(uint8_t check) {
    return check == 0xFF ? 0 : check;
}

// Puts the bytes of `in` that fall in [pos, pos + chunk) of a region into `b`,
// `in` standing at offset `off` of it.
void merge(uint8_t *b, uint32_t pos, uint32_t off, const uint8_t *in, uint32_t len) {
    for (uint32_t i = 0; i < chunk; ++i) {
        const uint32_t at = pos + i - off; // wraps above len before `off`
        if (at < len) {
            b[i] = in[at];
        }
    }
}

// Appends an entry of `key` after the head sector's last one: the region of
// entry `from` (erased bytes if 0) with `in` at `off`. Key and sequence number
// go first, the check last; the space is used up even if the entry is torn.
bool append(nvm_kv_t key, uint32_t from, uint32_t off, const uint8_t *in, uint32_t len) {
    const uint32_t at = ring[j.head] + j.next;
    j.next = static_cast<uint16_t>(j.next + entry_size(key));
    const uint16_t seq = static_cast<uint16_t>(j.seq + 1);
    const uint8_t head[check_at] = {key, static_cast<uint8_t>(seq), static_cast<uint8_t>(seq >> 8)};
    uint8_t check = check_sum(head, check_at);
    if (flash_program(at, head, check_at) != 0) {
        return false;
    }
    uint8_t b[chunk];
    for (uint32_t pos = 0; pos < region_size[key]; pos += chunk) {
        flash_read(from + header + pos, b, chunk); // from 4 when 0: outside the data area
        merge(b, pos, off, in, len);
        check = check_sum_update(check, b, chunk);
        if (flash_program(at + header + pos, b, chunk) != 0) {
            return false;
        }
    }
    check = stored(check);
    if (flash_program(at + check_at, &check, 1) != 0) {
        return false;
    }
    j.current[key] = at;
    j.seq = seq;
    return true;
}

// A new version of the key's region. When the head sector has no room, the
// oldest sector of the ring is erased and takes every other key's current
// entry and then the new one; the old head stays whole until then.
bool journal_write(nvm_kv_t key, uint32_t off, const uint8_t *in, uint32_t len) {
    const uint32_t from = j.current[key];
    bool ok = true;
    if (j.next + entry_size(key) > sector) {
        j.head = static_cast<uint16_t>((j.head + 1) % ring_size);
        j.next = 0;
        ok = flash_erase_sector(ring[j.head]) == 0;
        for (nvm_kv_t k = 0; ok && k < journaled; ++k) {
            if (k != key && j.current[k] != 0) {
                ok = append(k, j.current[k], 0, nullptr, 0);
            }
        }
    }
    if (ok && append(key, from, off, in, len)) {
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
        merge(b, pos, off, in, len);
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

// Whether sequence number a is newer than b, in serial order.
bool newer(uint16_t a, uint16_t b) {
    return (static_cast<uint16_t>(a - b) & 0x8000u) == 0;
}

} // namespace

// Walks each sector's entries up to its first free byte, noting per sector
// its last complete entry of each key and where the next one would go. The
// head is the sector with the newest entry, unless a hand-over into it was cut
// short: then a key it lacks is still whole in the sector before it, and that
// one stays the head.
void nvm_init(void) {
    uint32_t found[ring_size][journaled] = {};
    uint16_t next[ring_size] = {};
    uint16_t last[ring_size] = {};
    bool seen = false;
    uint16_t head = 0;
    for (uint16_t r = 0; r < ring_size; ++r) {
        for (uint32_t at = 0; at + header <= sector;) {
            uint8_t h[header];
            flash_read(ring[r] + at, h, header);
            const nvm_kv_t key = h[0];
            if (key == 0xFF) {
                break; // free: the key is programmed first
            }
            if (key >= journaled || at + entry_size(key) > sector) {
                next[r] = sector; // not an entry: nothing more goes here
                break;
            }
            uint8_t check = check_sum(h, check_at);
            for (uint32_t pos = 0; pos < region_size[key]; pos += chunk) {
                uint8_t b[chunk];
                flash_read(ring[r] + at + header + pos, b, chunk);
                check = check_sum_update(check, b, chunk);
            }
            const uint16_t seq = static_cast<uint16_t>(h[1] | h[2] << 8);
            if (stored(check) == h[check_at]) {
                found[r][key] = ring[r] + at;
                last[r] = seq;
                if (!seen || newer(seq, last[head])) {
                    head = r;
                }
                seen = true;
            }
            at += entry_size(key);
            next[r] = static_cast<uint16_t>(at);
        }
    }
    j.seq = last[head];
    for (nvm_kv_t k = 0; k < journaled; ++k) {
        if (found[head][k] == 0 && (found[0][k] | found[1][k] | found[2][k]) != 0) {
            head = static_cast<uint16_t>((head + ring_size - 1) % ring_size);
            break;
        }
    }
    j.head = head;
    j.next = next[head];
    for (nvm_kv_t k = 0; k < journaled; ++k) {
        j.current[k] = found[head][k];
    }
}

void nvm_read(nvm_kv_t key, uint16_t offset, void *buf, uint16_t len) {
    if (fits(key, offset, buf, len)) {
        // A journaled key never written reads from address 4, outside the data area.
        flash_read((key < journaled ? j.current[key] + header : NVM_KV_SCENE_DATA_ADDR) + offset,
                   buf, len);
    }
}

uint16_t nvm_write(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len) {
    if (!fits(key, offset, buf, len) || len == 0) {
        return 0;
    }
    const auto *in = static_cast<const uint8_t *>(buf);
    const bool ok = key < journaled ? journal_write(key, offset, in, len)
                                    : plain_write(NVM_KV_SCENE_DATA_ADDR + offset, in, len);
    return ok ? len : 0;
}
