#include "utilities.h"

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
            const unsigned shifted = static_cast<unsigned>(crc) << 1;
            crc = static_cast<uint8_t>((crc & 0x80u) != 0 ? shifted ^ 0x07u : shifted);
        }
    }
    return crc;
}
