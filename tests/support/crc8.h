#pragma once
// CRC-8, polynomial 0x07, not reflected, through a table built bit by bit:
// the tests' own reference for the checksum routine's CRC.
#include <array>
#include <cstddef>
#include <cstdint>

inline uint8_t crc8(const uint8_t *p, size_t n, uint8_t crc = 0) {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int v = 0; v < 256; ++v) {
            uint8_t c = static_cast<uint8_t>(v);
            for (int b = 0; b < 8; ++b) {
                c = static_cast<uint8_t>(c & 0x80 ? (c << 1) ^ 0x07 : c << 1);
            }
            t[v] = c;
        }
        return t;
    }();
    for (size_t i = 0; i < n; ++i) {
        crc = table[crc ^ p[i]];
    }
    return crc;
}
