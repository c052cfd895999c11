// The record checksum is CRC-8 (polynomial 0x07, init 0, no final XOR).
#include "utilities.h"

#include <gtest/gtest.h>

TEST(Checksum, KnownCheckValuesAndDegenerateInput) {
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(check_sum(check, sizeof check), 0xF4);
    const uint8_t one[] = {0x01};
    EXPECT_EQ(check_sum(one, 1), 0x07);
    const uint8_t ff[] = {0xFF};
    EXPECT_EQ(check_sum(ff, 1), 0xF3);
    EXPECT_EQ(check_sum(nullptr, 5), 0);
    EXPECT_EQ(check_sum(check, 0), 0);
    EXPECT_EQ(check_sum_update(check_sum(check, 4), check + 4, 5), 0xF4);
}

// The table-driven form against the polynomial shifted bit by bit: every
// running value with every byte.
TEST(Checksum, EveryStepIsThePolynomialsBitByBit) {
    for (uint32_t crc = 0; crc < 256; ++crc) {
        for (uint32_t byte = 0; byte < 256; ++byte) {
            uint8_t want = static_cast<uint8_t>(crc ^ byte);
            for (int bit = 0; bit < 8; ++bit) {
                want = static_cast<uint8_t>((want & 0x80u) != 0 ? (want << 1) ^ 0x07u : want << 1);
            }
            const uint8_t b = static_cast<uint8_t>(byte);
            ASSERT_EQ(check_sum_update(static_cast<uint8_t>(crc), &b, 1), want)
                << crc << " " << byte;
        }
    }
}
