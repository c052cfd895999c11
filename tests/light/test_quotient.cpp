// The module's own division (light_quotient.h) against the compiler's: every
// pair of edge values (where a shift-and-subtract loop would stop a bit early
// or late: divisors with the top bit set, dividends just around a multiple),
// and a fixed random sample over every width of dividend and divisor.
#include "light_quotient.h"

#include <gtest/gtest.h>

#include <random>

TEST(Quotient, IsTheDivisionForEdgeAndRandomOperands) {
    const uint32_t edges[] = {0u,          1u,          2u,          3u,          45u,
                              179u,        180u,        18000u,      65535u,      131070u,
                              0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0xFFFFFFFEu, 0xFFFFFFFFu};
    for (const uint32_t d : edges) {
        if (d == 0) {
            continue;
        }
        for (const uint32_t n : edges) {
            for (const uint32_t near : {n, n * d - 1u, n * d, n * d + 1u}) {
                ASSERT_EQ(light::quotient(near, d), near / d) << near << " / " << d;
            }
        }
    }
    std::mt19937 rng(20261209u);
    for (int i = 0; i < 200000; ++i) {
        const uint32_t n = rng() >> (rng() % 32);
        const uint32_t d = (rng() >> (rng() % 32)) | 1u << (rng() % 4);
        ASSERT_EQ(light::quotient(n, d), n / d) << n << " / " << d;
    }
}
