// The integer fade step (fade_step.h) gives the bits of the float
// reference (fade_step_float.h): scales worked out exactly by hand, the boundaries
// where the float rounding decides a step, and a fixed random sample.
// bench/fade_exhaustive checks every input.
#include "fade_step.h"
#include "fade_step_float.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using fade_step_float::bits_of;
using fade_step_float::float_of;

uint32_t int_step(uint32_t e, uint32_t m, uint32_t scale_bits) {
    int32_t margin = 0;
    return fade_step::step(e, m, fade_step::from_float_bits(scale_bits), margin) & 1u;
}

uint32_t float_step(uint32_t e, uint32_t m, uint32_t scale_bits) {
    return fade_step_float::step(static_cast<uint16_t>(e), static_cast<uint16_t>(m),
                                 float_of(scale_bits), 1);
}

} // namespace

TEST(FadeStep, ScalesAreTheCorrectlyRoundedQuotient) {
    // a/m rounded to nearest single precision, worked out in exact fractions.
    struct row {
        uint16_t a, m;
        uint32_t bits;
    };
    const row rows[] = {
        {1, 3, 0x3EAAAAABu},         {2, 3, 0x3F2AAAABu},         {3, 7, 0x3EDB6DB7u},
        {2700, 6300, 0x3EDB6DB7u},   {5400, 9000, 0x3F19999Au},   {1, 65535, 0x37800080u},
        {32767, 65535, 0x3EFFFF00u}, {65534, 65535, 0x3F7FFF00u}, {1, 2, 0x3F000000u},
        {0, 5, 0x00000000u},         {9000, 9000, 0x3F800000u},   {65535, 65535, 0x3F800000u},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(testing::Message() << r.a << "/" << r.m);
        EXPECT_EQ(fade_step::float_bits(fade_step::scale(r.a, r.m)), r.bits);
        EXPECT_EQ(bits_of(fade_step_float::scale(r.a, r.m)), r.bits);
    }
}

TEST(FadeStep, EveryDivisorGivesTheFloatScale) {
    // Each divisor with numerators whose quotient digits land near 0 and near
    // 4095 (1, 2, m - 1, m - 2) and a spread in between; bench/fade_exhaustive
    // checks every numerator.
    int diffs = 0;
    for (uint32_t m = 1; m <= 65535u; ++m) {
        for (uint32_t a : {1u, 2u, m / 7u, m / 3u, m / 2u, m * 5u / 7u, m - 2u, m - 1u}) {
            if (a > m) {
                continue;
            }
            const float s =
                fade_step_float::scale(static_cast<uint16_t>(a), static_cast<uint16_t>(m));
            diffs += bits_of(s) != fade_step::float_bits(fade_step::scale(a, m));
        }
    }
    EXPECT_EQ(diffs, 0);
}

TEST(FadeStep, BoundariesMatchTheFloatReference) {
    struct row {
        uint32_t e, m, scale_bits, step;
    };
    const row rows[] = {
        // Float rounding decides against exact arithmetic on e - 1 vs (m - 1)*s.
        {21388, 37001, 0x3F13F994u, 0},
        {18131, 20405, 0x3F637818u, 0},
        {6145, 17153, 0x3EB7672Au, 0},
        {47420, 50633, 0x3F6FC139u, 0},
        {42848, 45833, 0x3F6F53B2u, 1},
        {23340, 33521, 0x3F323ECFu, 1},
        // m*s exactly half-way between two floats: ties to even, both ways.
        {487, 544, 0x3F652088u, 1},
        {13100, 46080, 0x3E918C30u, 0},
        {11055, 59342, 0x3E3EC000u, 1},
        {14491, 39542, 0x3EBBA000u, 0},
        // t3 + s within half a unit below 1: t4 rounds up to 1.
        {1418, 6000, 0x3E71DFFEu, 1},
        {2835, 6000, 0x3EF1DFFFu, 1},
        // Decided by the exact rounding unit, not the quick bounds.
        {57526, 62908, 0x3F6A1913u, 1},
        {21490, 44143, 0x3EF93FDBu, 0},
        // The smallest scale, 1/65535: x = m*s is about 1.
        {1, 65535, 0x37800080u, 0},
        {2, 65535, 0x37800080u, 1},
        {3, 65535, 0x37800080u, 1},
        // Scales 0 and 1 (a channel that has arrived, or the leading scale kept
        // on a channel now behind: t4 far below -1 is a step of 0).
        {0, 100, 0x00000000u, 0},
        {3, 100, 0x00000000u, 1},
        {5, 100, 0x3F800000u, 0},
        {99, 100, 0x3F800000u, 0},
        // A scale kept from another fade: m*s far above or below e.
        {2, 60000, 0x3F400000u, 0},
        {40000, 60000, 0x3F000000u, 1},
        {0, 7, 0x3EDB6DB7u, 0},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(testing::Message()
                     << "e " << r.e << " m " << r.m << " s " << std::hex << r.scale_bits);
        EXPECT_EQ(float_step(r.e, r.m, r.scale_bits), r.step);
        EXPECT_EQ(int_step(r.e, r.m, r.scale_bits), r.step);
    }
}

TEST(FadeStep, FixedRandomSampleMatchesTheFloatReference) {
    std::mt19937 rng(20261207u);
    int scale_diffs = 0;
    int step_diffs = 0;
    for (int i = 0; i < 200000; ++i) {
        const uint32_t m0 = rng() % 65535u + 1u;
        const uint32_t a0 = rng() % (m0 + 1u);
        const float s =
            fade_step_float::scale(static_cast<uint16_t>(a0), static_cast<uint16_t>(m0));
        scale_diffs += bits_of(s) != fade_step::float_bits(fade_step::scale(a0, m0));
        // A step near where the channel starts to move (e - 1 about (m - 1)*s),
        // and one anywhere.
        const uint32_t m = rng() % 65534u + 2u;
        const uint32_t near =
            static_cast<uint32_t>(std::floor(s * static_cast<float>(m - 1))) + rng() % 3u;
        const uint32_t any = rng() % m;
        for (uint32_t e : {near < m ? near : m - 1u, any}) {
            step_diffs += float_step(e, m, bits_of(s)) != int_step(e, m, bits_of(s));
        }
    }
    EXPECT_EQ(scale_diffs, 0);
    EXPECT_EQ(step_diffs, 0);
}
