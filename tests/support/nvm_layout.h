#pragma once
// The store's flash layout as its header documents it, worked out here
// independently so tests can build and check raw images.
#include "flash_host.h"
#include "nvm_data_mgmt.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace nvm_layout {

constexpr uint32_t sector = FLASH_SECTOR_SIZE;
constexpr uint32_t ring[3] = {1, 4, 0}; // data sectors of the journal, in ring order
constexpr uint32_t scratch = 5;
constexpr uint32_t region_size[NVM_KV_MAX] = {32, 256, 32, 2048};
constexpr uint32_t small_entry = 36;          // slot manager or light record
constexpr uint32_t small_entries = 1024 / 36; // of them in an empty sector

// CRC-8, polynomial 0x07, initial 0, through a table built bit by bit.
inline uint8_t crc8(const uint8_t *p, size_t n) {
    static const std::vector<uint8_t> table = [] {
        std::vector<uint8_t> t(256);
        for (int v = 0; v < 256; ++v) {
            uint8_t c = static_cast<uint8_t>(v);
            for (int b = 0; b < 8; ++b) {
                c = static_cast<uint8_t>(c & 0x80 ? (c << 1) ^ 0x07 : c << 1);
            }
            t[v] = c;
        }
        return t;
    }();
    uint8_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc = table[crc ^ p[i]];
    }
    return crc;
}

// A complete journal entry as the header documents it.
inline std::vector<uint8_t> entry(nvm_kv_t key, uint16_t seq, const std::vector<uint8_t> &region) {
    std::vector<uint8_t> e{key, static_cast<uint8_t>(seq), static_cast<uint8_t>(seq >> 8), 0};
    e.insert(e.end(), region.begin(), region.end());
    std::vector<uint8_t> checked(e.begin(), e.begin() + 3);
    checked.insert(checked.end(), region.begin(), region.end());
    const uint8_t check = crc8(checked.data(), checked.size());
    e[3] = check == 0xFF ? 0 : check;
    return e;
}
// Byte `offset` of the ring's sector `r`.
inline uint8_t *ring_at(uint32_t r, uint32_t offset) {
    return flash_host_image() + ring[r] * sector + offset;
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

} // namespace nvm_layout
