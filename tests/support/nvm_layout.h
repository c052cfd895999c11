#pragma once
// The store's flash layout as its header documents it, worked out here
// independently (the CRC is the checksum routine, checked on its own in
// tests/utilities) so tests can build and check raw images. Offsets are in the
// data area (image byte n = offset n).
#include "flash.h"
#include "flash_host.h"
#include "nvm_data_mgmt.h"
#include "utilities.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace nvm_layout {

constexpr uint32_t sector = FLASH_SECTOR_SIZE;
constexpr uint32_t ring[3] = {1, 4, 0}; // data sectors of the journal, in ring order
constexpr uint32_t scene_sector = 2;
constexpr uint32_t region_size[NVM_KV_MAX] = {32, 256, 32, 2048};
constexpr uint32_t header_size = 16; // of a journal sector
constexpr uint32_t slot_size = 36;
constexpr uint32_t slots = 28;                         // per journal sector
constexpr uint8_t seed = 0x5A;                         // start value of both checks
constexpr uint8_t magic[4] = {0x4C, 0x53, 0x54, 0x32}; // "LST" and the format, '2'
constexpr uint8_t format_before = 0x31;                // '1': still read, never written

inline uint8_t stored(uint8_t check) {
    return check == 0xFF ? 0 : check;
}

// A valid journal sector header of generation `gen` (16 bytes): the magic and
// format, the generation, the check and the generation's complement; in the
// format before (`before`), the complement's bytes erased.
inline std::vector<uint8_t> sector_header(uint16_t gen, bool before = false) {
    std::vector<uint8_t> h = {magic[0],
                              magic[1],
                              magic[2],
                              before ? format_before : magic[3],
                              static_cast<uint8_t>(gen),
                              static_cast<uint8_t>(gen >> 8)};
    h.push_back(stored(check_sum_update(seed, h.data(), 6)));
    h.push_back(before ? uint8_t{0xFF} : static_cast<uint8_t>(~gen));
    h.push_back(before ? uint8_t{0xFF} : static_cast<uint8_t>(~gen >> 8));
    h.resize(header_size, 0xFF);
    return h;
}

// A complete journal entry (36 or 260 bytes) as the header documents it.
inline std::vector<uint8_t> entry(nvm_kv_t key, uint16_t gen, const std::vector<uint8_t> &region) {
    std::vector<uint8_t> e{key, static_cast<uint8_t>(gen), static_cast<uint8_t>(gen >> 8)};
    e.insert(e.end(), region.begin(), region.end());
    const uint8_t check = stored(check_sum_update(seed, e.data(), uint16_t(e.size())));
    e.insert(e.begin() + 3, check);
    return e;
}

inline uint8_t *at(uint32_t offset) {
    return flash_host_image() + offset;
}
// Byte `offset` of the ring's sector `r`; slot `s` of it.
inline uint8_t *ring_at(uint32_t r, uint32_t offset) {
    return at(ring[r] * sector + offset);
}
inline uint8_t *slot(uint32_t r, uint32_t s) {
    return ring_at(r, header_size + s * slot_size);
}

inline std::vector<uint8_t> snapshot() {
    const uint8_t *img = flash_host_image();
    return std::vector<uint8_t>(img, img + FLASH_DATA_SIZE);
}
inline void restore(const std::vector<uint8_t> &img) {
    std::memcpy(flash_host_image(), img.data(), img.size());
}

// A key's whole region as the store returns it.
inline std::vector<uint8_t> region(nvm_kv_t key) {
    std::vector<uint8_t> out(region_size[key], 0x5A);
    nvm_read(key, 0, out.data(), static_cast<uint16_t>(out.size()));
    return out;
}

// Every region, journaled and scene, as the store returns them.
using regions_t = std::vector<std::vector<uint8_t>>;
inline regions_t regions() {
    regions_t r;
    for (nvm_kv_t key = 0; key < NVM_KV_MAX; ++key) {
        r.push_back(region(key));
    }
    return r;
}

} // namespace nvm_layout
