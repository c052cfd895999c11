#include "utilities.h"

namespace {

// CRC-8 (0x07) of a nibble n standing in the top four bits: the step for
// four bits at once, so a byte takes two lookups instead of eight shifts
// (the store checks every entry it writes from the millisecond interrupt).
constexpr uint8_t nibble_step[16] = {0x00, 0x07, 0x0E, 0x09, 0x1C, 0x1B, 0x12, 0x15,
                                     0x38, 0x3F, 0x36, 0x31, 0x24, 0x23, 0x2A, 0x2D};

} // namespace

uint8_t check_sum(const uint8_t *data, uint16_t len) {
    return check_sum_update(0, data, len);
}

uint8_t check_sum_update(uint8_t crc, const uint8_t *data, uint16_t len) {
    if (data == nullptr) {
        return crc;
    }
    for (uint16_t i = 0; i < len; ++i) {
        crc = static_cast<uint8_t>(crc ^ data[i]);
        crc = static_cast<uint8_t>(crc << 4 ^ nibble_step[crc >> 4]);
        crc = static_cast<uint8_t>(crc << 4 ^ nibble_step[crc >> 4]);
    }
    return crc;
}
