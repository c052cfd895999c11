#pragma once
// The store's flash layout as its header documents it, worked out here
// independently so tests can build and check raw images.
#include "flash_host.h"
#include "nvm_data_mgmt.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace nvm_layout {

// Data-area sector index of each ring position, and of the scene sectors.
constexpr uint32_t ring[4] = {0, 1, 4, 5};
constexpr uint32_t sector = FLASH_SECTOR_SIZE;
constexpr uint32_t region_size[NVM_KV_MAX] = {32, 256, 32, 2048};

// CRC-16, polynomial 0x1021, initial 0xFFFF, written the byte-at-a-time way.
inline uint16_t crc16(const uint8_t *p, size_t n, uint16_t crc = 0xFFFF) {
    for (size_t i = 0; i < n; ++i) {
        uint16_t x = static_cast<uint16_t>(((crc >> 8) ^ p[i]) & 0xFF);
        x = static_cast<uint16_t>(x ^ (x >> 4));
        crc = static_cast<uint16_t>((crc << 8) ^ (x << 12) ^ (x << 5) ^ x);
    }
    return crc;
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
