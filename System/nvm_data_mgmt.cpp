// The store: the slot manager, slot table and light record journaled over a
// ring of three sectors, the scene region as plain flash rewritten through a
// scratch sector (layout in nvm_data_mgmt.h). One file, few branches and few
// arguments per call: the module and its services share the Cortex-M0's flash
// budget.
#include "nvm_data_mgmt.h"

#include "utilities.h"

#include "flash.h"

namespace {

constexpr uint32_t sector = FLASH_SECTOR_SIZE;
constexpr uint32_t slot_size = 36;
constexpr uint8_t slots = 28;                                  // per journal sector
constexpr uint32_t sector_header = sector - slots * slot_size; // 16
constexpr uint32_t header_used = 9; // magic, generation, check, complement
constexpr uint32_t header = 4;      // of an entry: key, generation, check
constexpr uint32_t chunk = 16;      // region bytes programmed at a time
constexpr uint8_t ring_size = 3;
constexpr uint8_t no_head = ring_size;
constexpr uint16_t none = 0xFFFF;                 // no entry: reads land past the data area
constexpr uint8_t seed = 0x5A;                    // CRC start: an all-zero entry never checks
constexpr nvm_kv_t journaled = NVM_KV_SCENE_DATA; // the keys below it
constexpr uint8_t ring[ring_size] = {1, 4, 0};
constexpr uint32_t scratch = 5 * sector;
constexpr uint32_t scene = 2 * sector;
constexpr uint8_t magic[3] = {0x4C, 0x53, 0x54}; // then the format: '2', or '1' (read only)
constexpr uint8_t format = 0x32;
constexpr uint8_t format_before = 0x31;
constexpr uint16_t region_size[NVM_KV_MAX] = {NVM_KV_SLOT_MGR_SIZE, NVM_KV_SLOT_TBL_SIZE,
                                              NVM_KV_LIGHT_DATA_SIZE, NVM_KV_SCENE_DATA_SIZE};
// Slots an entry of each journaled key takes.
constexpr uint8_t slot_count[journaled] = {1, 8, 1};
static_assert(FLASH_DATA_SIZE < none - header - NVM_KV_SLOT_TBL_SIZE, "offsets fit 16 bits");
static_assert(NVM_KV_SLOT_MGR_SIZE == slot_size - header &&
                  NVM_KV_LIGHT_DATA_SIZE == slot_size - header &&
                  NVM_KV_SLOT_TBL_SIZE % chunk == 0 && NVM_KV_SCENE_DATA_SIZE % sector == 0,
              "small regions fill a slot, the table whole chunks, the scene whole sectors");
static_assert(header + NVM_KV_SLOT_TBL_SIZE <= 8 * slot_size &&
                  header + NVM_KV_SLOT_TBL_SIZE > 7 * slot_size,
              "the slot table's entry takes eight slots");
static_assert(1 + 8 + 1 <= slots, "a hand-over fits one entry of every key in a sector");

// A journal sector taking entries.
struct place_t {
    uint16_t gen; // its generation
    uint8_t r;    // its ring index, or no_head
    uint8_t next; // the first slot a new entry may take
};

// The whole RAM of the store.
struct journal_t {
    uint16_t current[journaled]; // data-area offset of each key's current entry, or none
    place_t head;
    // Ring index of the sector known erased for the next hand-over, or
    // no_head; with prepare_failed, the sector whose erase ahead failed.
    uint8_t ready;
};
constexpr uint8_t prepare_failed = 0x80;
journal_t j;

// Bytes a write brings: `len` bytes of `in` at offset `off` of a region.
struct change_t {
    const uint8_t *in;
    uint32_t off;
    uint32_t len;
};

uint32_t slot_at(uint8_t r, uint32_t s) {
    return ring[r] * sector + sector_header + s * slot_size;
}

// The check as stored: never 0xFF, so an unprogrammed check never matches.
uint8_t stored(uint8_t check) {
    return check == 0xFF ? 0 : check;
}

// Reads `size` bytes at `from` a chunk at a time, puts in the bytes of `c`
// that fall there (`from` standing at offset 0 of the region), carries the
// CRC on in *check and programs each chunk at `to` (erased). False on a
// failed program.
bool move(uint32_t from, uint32_t to, uint32_t size, const change_t *c, uint8_t *check) {
    for (uint32_t pos = 0; pos < size; pos += chunk) {
        uint8_t b[chunk];
        flash_read(from + pos, b, chunk);
        for (uint32_t i = 0; i < chunk; ++i) {
            const uint32_t at = pos + i - c->off; // wraps above len before `off`
            if (at < c->len) {
                b[i] = c->in[at];
            }
        }
        *check = check_sum_update(*check, b, chunk);
        if (flash_program(to + pos, b, chunk) != 0) {
            return false;
        }
    }
    return true;
}

// The stored check of `first` (`n` bytes) and then of `len` flash bytes at `at`.
uint8_t check_of(const uint8_t *first, uint16_t n, uint32_t at, uint32_t len) {
    uint8_t check = check_sum_update(seed, first, n);
    for (uint32_t pos = 0; pos < len; pos += chunk) {
        uint8_t b[chunk];
        flash_read(at + pos, b, chunk);
        check = check_sum_update(check, b, chunk);
    }
    return stored(check);
}

bool erased(uint32_t at, uint32_t len) {
    uint8_t b[chunk];
    uint8_t all = 0xFF;
    for (uint32_t pos = 0; pos < len && all == 0xFF; pos += chunk) {
        const uint32_t n = len - pos < chunk ? len - pos : chunk;
        flash_read(at + pos, b, n);
        // cppcheck-suppress knownConditionTrueFalse ; n is at least 1, as pos < len
        for (uint32_t i = 0; i < n; ++i) {
            all = static_cast<uint8_t>(all & b[i]);
        }
    }
    return all == 0xFF;
}

// The used bytes of a journal sector's header of generation `gen` in format
// `version`: the current one carries the generation's complement, the one
// before left those bytes erased.
void header_of(uint16_t gen, uint8_t version, uint8_t *h) {
    for (uint32_t i = 0; i < sizeof magic; ++i) {
        h[i] = magic[i];
    }
    h[3] = version;
    h[4] = static_cast<uint8_t>(gen);
    h[5] = static_cast<uint8_t>(gen >> 8);
    h[6] = stored(check_sum_update(seed, h, 6));
    const uint16_t complement = version == format ? static_cast<uint16_t>(~gen) : 0xFFFFu;
    h[7] = static_cast<uint8_t>(complement);
    h[8] = static_cast<uint8_t>(complement >> 8);
}

// Whether ring sector `r` has a valid header, of either format; its
// generation in *gen.
bool sector_gen(uint8_t r, uint16_t *gen) {
    uint8_t h[header_used];
    uint8_t want[header_used];
    flash_read(ring[r] * sector, h, sizeof h);
    *gen = static_cast<uint16_t>(h[4] | h[5] << 8);
    header_of(*gen, h[3] == format_before ? format_before : format, want);
    for (uint32_t i = 0; i < sizeof h; ++i) {
        if (h[i] != want[i]) {
            return false;
        }
    }
    return true;
}

// Programs an entry of `key` into sector `p`, at the first slots from its
// next that read erased: the region of the entry at `from` (erased bytes if
// none) with the change; region first, then key, generation and check. A slot
// whose programming fails is abandoned for the next one. Returns the entry's
// offset, or none when no room is left.
uint16_t put(place_t *p, nvm_kv_t key, uint32_t from, const change_t *c) {
    for (; p->next + slot_count[key] <= slots; ++p->next) {
        const uint32_t at = slot_at(p->r, p->next);
        if (!erased(at, header + region_size[key])) {
            continue;
        }
        uint8_t h[header] = {key, static_cast<uint8_t>(p->gen), static_cast<uint8_t>(p->gen >> 8),
                             0};
        uint8_t check = check_sum_update(seed, h, 3);
        if (move(from + header, at + header, region_size[key], c, &check)) {
            h[3] = stored(check);
            if (flash_program(at, h, header) == 0) {
                p->next = static_cast<uint8_t>(p->next + slot_count[key]);
                return static_cast<uint16_t>(at);
            }
            // A header that failed may read as this entry with a wrong check:
            // all its slots stay used, so nothing programmed into them later
            // can make the check come true.
            p->next = static_cast<uint8_t>(p->next + slot_count[key] - 1);
        }
    }
    return none;
}

// The ring sector the next hand-over takes: the one after the head, the
// ring's first without a head.
uint8_t next_ring() {
    return j.head.r + 1 < ring_size ? static_cast<uint8_t>(j.head.r + 1) : uint8_t{0};
}

// Gives the ring sector after the head every other key's current entry, the
// new one and then its header; only a complete header makes it the head. The
// sector is erased first unless nvm_prepare made it ready (and its header
// still reads erased).
bool hand_over(nvm_kv_t key, const change_t *c) {
    place_t p = {static_cast<uint16_t>(j.head.gen + 1), next_ring(), 0};
    const bool ready = j.ready == p.r && erased(ring[p.r] * sector, sector_header);
    j.ready = no_head;
    if (!ready && flash_erase_sector(ring[p.r] * sector) != 0) {
        return false;
    }
    const change_t nothing = {nullptr, 0, 0};
    uint16_t moved[journaled];
    for (nvm_kv_t k = 0; k < journaled; ++k) {
        moved[k] = j.current[k];
        if (k == key || moved[k] != none) {
            moved[k] = put(&p, k, moved[k], k == key ? c : &nothing);
            if (moved[k] == none) {
                return false;
            }
        }
    }
    uint8_t h[header_used];
    header_of(p.gen, format, h);
    if (flash_program(ring[p.r] * sector, h, sizeof h) != 0) {
        return false;
    }
    // Field by field: a copy of the whole record would be a library call.
    j.head.gen = p.gen;
    j.head.r = p.r;
    j.head.next = p.next;
    for (nvm_kv_t k = 0; k < journaled; ++k) {
        j.current[k] = moved[k];
    }
    return true;
}

// Each sector the write touches is merged into the scratch sector, erased and
// copied back; the change's offset wraps, so it may start in an earlier sector.
bool plain_write(uint32_t at, const change_t *c) {
    const change_t nothing = {nullptr, 0, 0};
    for (uint32_t s = at - at % sector; s < at + c->len; s += sector) {
        const change_t here = {c->in, at - s, c->len};
        uint8_t unused = 0;
        if (flash_erase_sector(scratch) != 0 || !move(s, scratch, sector, &here, &unused) ||
            flash_erase_sector(s) != 0 || !move(scratch, s, sector, &nothing, &unused)) {
            return false;
        }
    }
    return true;
}

bool fits(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len) {
    return key < NVM_KV_MAX && buf != nullptr && offset <= region_size[key] &&
           len <= region_size[key] - offset;
}

// Whether generation a is newer than b, in serial order.
bool newer(uint16_t a, uint16_t b) {
    return a != b && (static_cast<uint16_t>(a - b) & 0x8000u) == 0;
}

// Notes the last counted entry of each key in ring sector `r` (generation
// `gen`); returns the slot after the last one that holds anything. An entry
// whose key and generation came through but not its check (a cut or failed
// program of its first bytes) keeps all its slots: were a later entry written
// into them, the old check might come true over the new bytes.
uint8_t scan(uint8_t r, uint16_t gen) {
    uint8_t next = 0;
    for (uint8_t s = 0; s < slots;) {
        const uint32_t at = slot_at(r, s);
        uint8_t h[header];
        flash_read(at, h, header);
        const nvm_kv_t key = h[0];
        if (key < journaled && s + slot_count[key] <= slots &&
            static_cast<uint16_t>(h[1] | h[2] << 8) == gen) {
            if (check_of(h, 3, at + header, region_size[key]) == h[3]) {
                j.current[key] = static_cast<uint16_t>(at);
            }
            s = static_cast<uint8_t>(s + slot_count[key]);
            next = s;
        } else if (!erased(at, slot_size)) {
            next = ++s;
        } else {
            ++s;
        }
    }
    return next;
}

} // namespace

void nvm_init(void) {
    for (nvm_kv_t k = 0; k < journaled; ++k) {
        j.current[k] = none;
    }
    j.head = {0, no_head, 0}; // with no head, the first hand-over makes generation 1
    j.ready = no_head;
    for (uint8_t r = 0; r < ring_size; ++r) {
        uint16_t gen = 0;
        if (sector_gen(r, &gen) && (j.head.r == no_head || newer(gen, j.head.gen))) {
            j.head.r = r;
            j.head.gen = gen;
        }
    }
    if (j.head.r != no_head) {
        const uint8_t before = j.head.r != 0 ? static_cast<uint8_t>(j.head.r - 1) : ring_size - 1;
        uint16_t gen = 0;
        if (sector_gen(before, &gen) && gen == static_cast<uint16_t>(j.head.gen - 1)) {
            scan(before, gen);
        }
        j.head.next = scan(j.head.r, j.head.gen);
    }
}

void nvm_read(nvm_kv_t key, uint16_t offset, void *buf, uint16_t len) {
    if (fits(key, offset, buf, len)) {
        flash_read((key < journaled ? j.current[key] + header : scene) + offset, buf, len);
    }
}

uint16_t nvm_write(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len) {
    if (!fits(key, offset, buf, len) || len == 0) {
        return 0;
    }
    const change_t c = {static_cast<const uint8_t *>(buf), offset, len};
    bool ok = false;
    if (key >= journaled) {
        ok = plain_write(scene + offset, &c);
    } else {
        const uint16_t at = j.head.r == no_head ? none : put(&j.head, key, j.current[key], &c);
        if (at != none) {
            j.current[key] = at;
            ok = true;
        } else {
            ok = hand_over(key, &c);
        }
    }
    return ok ? len : 0;
}

uint8_t nvm_prepared(void) {
    return (j.ready & ~prepare_failed) == next_ring() ? 1u : 0u;
}

uint8_t nvm_prepare(void) {
    const uint8_t r = next_ring();
    if (j.ready == r) {
        return 0;
    }
    // A sector that failed is not tried again before its hand-over.
    if (j.ready != (r | prepare_failed) &&
        (erased(ring[r] * sector, sector) || flash_erase_sector(ring[r] * sector) == 0)) {
        j.ready = r;
        return 0;
    }
    j.ready = r | prepare_failed;
    return 1;
}
