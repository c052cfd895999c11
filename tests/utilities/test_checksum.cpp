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
