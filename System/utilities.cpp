#include "utilities.h"

namespace {
constexpr uint32_t polynomial = 0x07u; // x^8 + x^2 + x + 1, the x^8 term implied
constexpr uint32_t top_bit = 0x80u;
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
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & top_bit) != 0 ? static_cast<uint8_t>((crc << 1) ^ polynomial)
                                       : static_cast<uint8_t>(crc << 1);
        }
    }
    return crc;
}
