#include "crc32.h"

#include <array>

namespace lampsim {
namespace {

// One entry per byte value: a byte costs a table load and three operations,
// which the fade digest pays for every PWM write inside the fade tick.
constexpr std::array<uint32_t, 256> make_table() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        t[i] = c;
    }
    return t;
}

constexpr std::array<uint32_t, 256> table = make_table();

} // namespace

uint32_t crc32(uint32_t crc, const void *bytes, uint32_t len) {
    const uint8_t *p = static_cast<const uint8_t *>(bytes);
    uint32_t c = ~crc;
    for (uint32_t i = 0; i < len; ++i) {
        c = table[(c ^ p[i]) & 0xFFu] ^ (c >> 8);
    }
    return ~c;
}

} // namespace lampsim
