#pragma once
// Numbers as the player's byte formats write them (the event stream, the
// serial link's step table): 7 bits a byte, low first, the top bit set on all
// but the last; signed ones zigzag-coded (0, -1, 1, -2, ... as 0, 1, 2, 3, ...).
#include <stdint.h>

namespace lampsim {
namespace varint {

constexpr unsigned max_bytes = 10; // a 64-bit number

// Writes v at p; returns the bytes written.
inline unsigned put(uint8_t *p, uint64_t v) {
    unsigned n = 0;
    while (v >= 0x80u) {
        p[n++] = static_cast<uint8_t>(v | 0x80u);
        v >>= 7;
    }
    p[n++] = static_cast<uint8_t>(v);
    return n;
}

inline uint64_t zigzag(int64_t v) {
    return v < 0 ? ~(static_cast<uint64_t>(v) << 1) : static_cast<uint64_t>(v) << 1;
}

inline int64_t unzigzag(uint64_t z) {
    return (z & 1u) != 0 ? static_cast<int64_t>(~(z >> 1)) : static_cast<int64_t>(z >> 1);
}

// Reads a number from bytes[at..end); false when it runs past the end or
// over 64 bits.
inline bool get(const uint8_t *bytes, uint32_t end, uint32_t &at, uint64_t &v) {
    v = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
        if (at >= end) {
            return false;
        }
        const uint8_t b = bytes[at++];
        v |= static_cast<uint64_t>(b & 0x7Fu) << shift;
        if ((b & 0x80u) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace varint
} // namespace lampsim
