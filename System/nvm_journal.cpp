// Journal ring of the small keys: entries are only appended, the highest
// sequence number wins, and sectors are recycled oldest first.
#include "nvm_journal.h"

#include "nvm_data_mgmt.h"

#include "../Boards/flash.h"

namespace nvm_journal {
namespace {

constexpr uint16_t sector_size = FLASH_SECTOR_SIZE;
constexpr uint8_t ring_size = 4;
constexpr uint8_t ring_sector[ring_size] = {0, 1, 4, 5};
constexpr uint16_t region_size[key_count] = {NVM_KV_SLOT_MGR_SIZE, NVM_KV_SLOT_TBL_SIZE,
                                             NVM_KV_LIGHT_DATA_SIZE};
static_assert(NVM_KV_SLOT_MGR == 0 && NVM_KV_SLOT_TBL == 1 && NVM_KV_LIGHT_DATA == 2,
              "journaled keys are the first three");

constexpr uint16_t sector_header = 8;
constexpr uint16_t sector_magic = 0x4A52;
constexpr uint16_t entry_header = 12;
constexpr uint16_t crc_field = 10; // programmed last
constexpr uint16_t unprogrammed = 0xFFFF;
constexpr uint8_t no_sector = 0xFF;
constexpr uint16_t no_entry = 0xFFFF;
constexpr uint16_t chunk = 16;

// Where an entry lies: ring index * sector_size + offset in the sector.
using location_t = uint16_t;

// The whole RAM of the journal.
struct state_t {
    location_t current[key_count]; // newest complete entry of each key
    uint32_t next_seq;
    uint16_t head_free; // offset of the first unused byte of the head sector
    uint8_t head;       // ring index of the head sector, or no_sector
};
state_t st = {{no_entry, no_entry, no_entry}, 1, 0, no_sector};

uint16_t crc16(uint16_t crc, const uint8_t *p, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        crc = static_cast<uint16_t>(crc ^ (p[i] << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000u) != 0 ? static_cast<uint16_t>((crc << 1) ^ 0x1021u)
                                       : static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}
constexpr uint16_t crc_init = 0xFFFF;

uint16_t le16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t le32(const uint8_t *p) {
    return static_cast<uint32_t>(le16(p)) | (static_cast<uint32_t>(le16(p + 2)) << 16);
}
void put16(uint8_t *p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFFu);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t *p, uint32_t v) {
    put16(p, static_cast<uint16_t>(v & 0xFFFFu));
    put16(p + 2, static_cast<uint16_t>(v >> 16));
}
uint16_t align4(uint16_t n) {
    return static_cast<uint16_t>((n + 3u) & ~3u);
}

uint32_t sector_addr(uint8_t r) {
    return FLASH_DATA_BASE_ADDR + ring_sector[r] * static_cast<uint32_t>(sector_size);
}
location_t location(uint8_t r, uint16_t offset) {
    return static_cast<location_t>(r * sector_size + offset);
}
uint32_t location_addr(location_t loc) {
    return sector_addr(static_cast<uint8_t>(loc / sector_size)) + loc % sector_size;
}

bool blank(uint32_t addr, uint32_t len) {
    uint8_t b[chunk];
    for (uint32_t pos = 0; pos < len; pos += chunk) {
        const uint32_t n = len - pos < chunk ? len - pos : chunk;
        flash_read(addr + pos, b, n);
        for (uint32_t i = 0; i < n; ++i) {
            if (b[i] != 0xFF) {
                return false;
            }
        }
    }
    return true;
}

bool sector_is_open(uint8_t r, uint32_t *seq) {
    uint8_t h[sector_header];
    flash_read(sector_addr(r), h, sizeof h);
    const uint16_t crc = le16(h + 6);
    if (le16(h + 4) != sector_magic || crc == unprogrammed || crc != crc16(crc_init, h, 6)) {
        return false;
    }
    *seq = le32(h);
    return true;
}

uint8_t open_count() {
    uint8_t n = 0;
    for (uint8_t r = 0; r < ring_size; ++r) {
        uint32_t seq = 0;
        n = static_cast<uint8_t>(n + (sector_is_open(r, &seq) ? 1 : 0));
    }
    return n;
}

// The open sector with the lowest sequence number other than the head.
uint8_t oldest() {
    uint8_t found = no_sector;
    uint32_t found_seq = 0;
    for (uint8_t r = 0; r < ring_size; ++r) {
        uint32_t seq = 0;
        if (r != st.head && sector_is_open(r, &seq) && (found == no_sector || seq < found_seq)) {
            found = r;
            found_seq = seq;
        }
    }
    return found;
}

enum class slot_t { end, torn, entry, garbage };

struct entry_t {
    uint32_t seq;
    uint8_t key;
    uint16_t len;
    bool complete;
};

slot_t parse(location_t loc, entry_t *e) {
    const uint16_t offset = loc % sector_size;
    const uint32_t at = location_addr(loc);
    uint8_t h[entry_header];
    flash_read(at, h, sizeof h);
    bool all_ff = true;
    for (uint8_t b : h) {
        all_ff = all_ff && b == 0xFF;
    }
    if (all_ff) {
        return slot_t::end;
    }
    const uint16_t check = le16(h + 8);
    if (check == unprogrammed || check != crc16(crc_init, h, 8)) {
        return slot_t::torn;
    }
    e->seq = le32(h);
    e->key = h[4];
    e->len = le16(h + 6);
    if (e->key >= key_count || h[5] != static_cast<uint8_t>(~e->key) ||
        e->len > region_size[e->key] || offset + entry_header + align4(e->len) > sector_size) {
        return slot_t::garbage;
    }
    uint16_t crc = crc16(crc_init, h, crc_field);
    uint8_t b[chunk];
    for (uint16_t pos = 0; pos < e->len; pos = static_cast<uint16_t>(pos + chunk)) {
        const uint16_t n = e->len - pos < chunk ? static_cast<uint16_t>(e->len - pos) : chunk;
        flash_read(at + entry_header + pos, b, n);
        crc = crc16(crc, b, n);
    }
    const uint16_t stored = le16(h + crc_field);
    e->complete = stored != unprogrammed && stored == crc;
    return slot_t::entry;
}

// Walks the entries of sector r; returns where the next entry may go
// (sector_size when the sector takes no more).
template <typename Visit> uint16_t scan(uint8_t r, Visit visit) {
    uint16_t offset = sector_header;
    while (offset + entry_header <= sector_size) {
        entry_t e = {};
        const location_t loc = location(r, offset);
        switch (parse(loc, &e)) {
        case slot_t::end:
            return blank(location_addr(loc), sector_size - offset) ? offset : sector_size;
        case slot_t::garbage:
            return sector_size;
        case slot_t::torn:
            offset = static_cast<uint16_t>(offset + entry_header);
            break;
        case slot_t::entry:
            visit(e, loc);
            offset = static_cast<uint16_t>(offset + entry_header + align4(e.len));
            break;
        }
    }
    return sector_size;
}

uint16_t entry_len(location_t loc) {
    uint8_t b[2];
    flash_read(location_addr(loc) + 6, b, sizeof b);
    return le16(b);
}

bool room_for(uint16_t len) {
    return st.head != no_sector && st.head_free + entry_header + align4(len) <= sector_size;
}

// Bytes pos.. of the new value: the source entry's bytes, overlaid with the
// caller's, 0xFF past both.
struct source_t {
    location_t from;
    uint16_t from_len;
    uint16_t offset;
    const uint8_t *bytes;
    uint16_t count;
};

void fill(const source_t &s, uint16_t pos, uint8_t *b, uint16_t n) {
    for (uint16_t i = 0; i < n; ++i) {
        b[i] = 0xFF;
    }
    if (s.from != no_entry && pos < s.from_len) {
        const uint16_t m = s.from_len - pos < n ? static_cast<uint16_t>(s.from_len - pos) : n;
        flash_read(location_addr(s.from) + entry_header + pos, b, m);
    }
    for (uint16_t i = 0; i < n; ++i) {
        const uint16_t at = static_cast<uint16_t>(pos + i);
        if (at >= s.offset && at - s.offset < s.count) {
            b[i] = s.bytes[at - s.offset];
        }
    }
}

// Appends a len-byte entry of key to the head; the caller made room.
bool append(uint8_t key, const source_t &s, uint16_t len) {
    const location_t loc = location(st.head, st.head_free);
    const uint32_t at = location_addr(loc);
    const uint16_t padded = align4(len);
    st.head_free =
        static_cast<uint16_t>(st.head_free + entry_header + padded); // used up either way

    uint8_t h[entry_header];
    uint8_t b[chunk];
    uint16_t crc = unprogrammed;
    while (crc == unprogrammed) { // neither CRC may look unprogrammed
        put32(h, st.next_seq++);
        h[4] = key;
        h[5] = static_cast<uint8_t>(~key);
        put16(h + 6, len);
        put16(h + 8, crc16(crc_init, h, 8));
        if (le16(h + 8) == unprogrammed) {
            continue;
        }
        crc = crc16(crc_init, h, crc_field);
        for (uint16_t pos = 0; pos < len; pos = static_cast<uint16_t>(pos + chunk)) {
            const uint16_t n = len - pos < chunk ? static_cast<uint16_t>(len - pos) : chunk;
            fill(s, pos, b, n);
            crc = crc16(crc, b, n);
        }
    }
    put16(h + crc_field, crc);

    bool ok = flash_program(at, h, crc_field) == 0;
    for (uint16_t pos = 0; ok && pos < padded; pos = static_cast<uint16_t>(pos + chunk)) {
        const uint16_t n = padded - pos < chunk ? static_cast<uint16_t>(padded - pos) : chunk;
        fill(s, pos, b, n);
        for (uint16_t i = 0; i < n; ++i) {
            if (pos + i >= len) {
                b[i] = 0xFF;
            }
        }
        ok = flash_program(at + entry_header + pos, b, n) == 0;
    }
    ok = ok && flash_program(at + crc_field, h + crc_field, 2) == 0;

    // What counts is what the flash holds, so that a read now and a read after
    // a restart agree.
    entry_t e = {};
    const bool complete = parse(loc, &e) == slot_t::entry && e.complete;
    if (complete) {
        st.current[key] = loc;
    }
    return ok && complete;
}

bool erase(uint8_t r) {
    return flash_erase_sector(sector_addr(r)) == 0 && blank(sector_addr(r), sector_size);
}

// Copies the current entries held in sector r into the head, then erases r.
bool collect(uint8_t r) {
    for (uint8_t key = 0; key < key_count; ++key) {
        const location_t loc = st.current[key];
        if (loc == no_entry || loc / sector_size != r) {
            continue;
        }
        const uint16_t len = entry_len(loc);
        if (!room_for(len) || !append(key, source_t{loc, len, 0, nullptr, 0}, len)) {
            return false;
        }
    }
    return erase(r);
}

uint8_t free_sector(uint8_t start) {
    for (uint8_t i = 0; i < ring_size; ++i) {
        const uint8_t r = static_cast<uint8_t>((start + i) % ring_size);
        uint32_t seq = 0;
        if (!sector_is_open(r, &seq)) {
            return r;
        }
    }
    return no_sector;
}

// Opens the next free sector as the head; recycles the oldest sector when no
// free one would be left.
bool open_next() {
    uint32_t head_seq = 0;
    const bool has_head = st.head != no_sector && sector_is_open(st.head, &head_seq);
    const uint8_t r = free_sector(has_head ? static_cast<uint8_t>(st.head + 1) : 0);
    if (r == no_sector || (!blank(sector_addr(r), sector_size) && !erase(r))) {
        return false;
    }
    uint8_t h[sector_header];
    uint32_t seq = has_head ? head_seq + 1 : 1;
    put16(h + 4, sector_magic);
    do {
        put32(h, seq++);
        put16(h + 6, crc16(crc_init, h, 6));
    } while (le16(h + 6) == unprogrammed);
    if (flash_program(sector_addr(r), h, 6) != 0 ||
        flash_program(sector_addr(r) + 6, h + 6, 2) != 0 || !sector_is_open(r, &seq)) {
        return false;
    }
    st.head = r;
    st.head_free = sector_header;
    return open_count() < ring_size || collect(oldest());
}

} // namespace

void init() {
    st = state_t{{no_entry, no_entry, no_entry}, 1, 0, no_sector};
    uint32_t best[key_count] = {};
    uint32_t max_seq = 0;
    uint32_t head_seq = 0;
    uint16_t ends[ring_size] = {};
    for (uint8_t r = 0; r < ring_size; ++r) {
        uint32_t seq = 0;
        if (!sector_is_open(r, &seq)) {
            continue;
        }
        if (st.head == no_sector || seq > head_seq) {
            st.head = r;
            head_seq = seq;
        }
        ends[r] = scan(r, [&](const entry_t &e, location_t loc) {
            max_seq = e.seq > max_seq ? e.seq : max_seq;
            if (e.complete && (st.current[e.key] == no_entry || e.seq > best[e.key])) {
                st.current[e.key] = loc;
                best[e.key] = e.seq;
            }
        });
    }
    st.next_seq = max_seq + 1;
    if (st.head != no_sector) {
        st.head_free = ends[st.head];
        if (open_count() == ring_size) {
            (void)collect(oldest()); // a move was cut short; a write retries it
        }
    }
}

void read(uint8_t key, uint16_t offset, uint8_t *buf, uint16_t len) {
    const location_t loc = st.current[key];
    const uint16_t have = loc == no_entry ? 0 : entry_len(loc);
    for (uint16_t i = 0; i < len; ++i) {
        buf[i] = 0xFF;
    }
    if (offset < have) {
        const uint16_t n = have - offset < len ? static_cast<uint16_t>(have - offset) : len;
        flash_read(location_addr(loc) + entry_header + offset, buf, n);
    }
}

bool write(uint8_t key, uint16_t offset, const uint8_t *buf, uint16_t len) {
    const uint16_t old_len = st.current[key] == no_entry ? 0 : entry_len(st.current[key]);
    const uint16_t end = static_cast<uint16_t>(offset + len);
    const uint16_t new_len = end > old_len ? end : old_len;
    if (st.head != no_sector && open_count() == ring_size && !collect(oldest())) {
        return false;
    }
    if (!room_for(new_len) && (!open_next() || !room_for(new_len))) {
        return false;
    }
    // The current entry may have moved while room was made.
    const location_t from = st.current[key];
    return append(key, source_t{from, old_len, offset, buf, len}, new_len);
}

bool scratch_sector(uint32_t *addr) {
    const uint8_t r = free_sector(0);
    if (r == no_sector || (!blank(sector_addr(r), sector_size) && !erase(r))) {
        return false;
    }
    *addr = sector_addr(r);
    return true;
}

} // namespace nvm_journal
