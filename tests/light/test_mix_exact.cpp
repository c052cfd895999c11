// The integer mixing against the float form it replaced, over every input; the
// reverse conversions against the signed division they replaced, over every
// value they depend on.
#include "lamp_fixture.h"
#include "mix_sweep.h"

namespace {

using MixExact = LampTest;

// The reverse conversions as they were: signed 32-bit division.
uint16_t signed_brightness(bright_mode_t mode, uint16_t white, uint16_t warm) {
    const int32_t w = white;
    const int32_t m = warm;
    switch (mode) {
    case BRIGHT_MODE_CW:
        return static_cast<uint16_t>(100 * (w + m) / 18000);
    case BRIGHT_MODE_CCT:
        return static_cast<uint16_t>(100 * w / 18000);
    default:
        return 0;
    }
}

uint16_t signed_temperature(bright_mode_t mode, uint16_t white, uint16_t warm) {
    const int32_t w = white;
    const int32_t m = warm;
    switch (mode) {
    case BRIGHT_MODE_CW:
        return static_cast<uint16_t>(100 * w / (w + m));
    case BRIGHT_MODE_CCT:
        return static_cast<uint16_t>(100 * m / 18000);
    default:
        return 0;
    }
}

} // namespace

TEST_F(MixExact, IntegerMixingEqualsTheFloatFormForEveryInput) {
    const mix_sweep_t s = mix_sweep(_light_ctrl_data_calculate_cw);
    EXPECT_EQ(s.inputs, 3u * 256u * 256u);
    EXPECT_EQ(s.differences, 0u);
    EXPECT_EQ(s.candidate_sum, s.reference_sum);
    // The Cortex-M0 check image must arrive at the same value (tests/firmware/mix_float_check.py).
    EXPECT_EQ(s.reference_sum, mix_reference_sum);
}

TEST_F(MixExact, SweepRejectsNineFifthsWithoutTheShortfallRule) {
    const mix_sweep_t s = mix_sweep(mix_plain_ninefifths);
    EXPECT_EQ(s.differences, 543u);
    EXPECT_NE(s.candidate_sum, s.reference_sum);
}

// Brightness depends on white + warm alone (cold/warm) or on white alone, the
// temperature in brightness/temperature mode on warm alone: every sum
// 0..131070 and every channel value is one input each. Cold/warm temperature
// stays a division by white + warm; it is checked along every white and every
// warm against a spread of the other channel.
TEST_F(MixExact, ReverseConversionsEqualSignedDivision) {
    for (const bright_mode_t mode : {BRIGHT_MODE_CW, BRIGHT_MODE_CCT, BRIGHT_MODE_MAX}) {
        light_cfg_data.bright_mode = mode;
        for (uint32_t sum = 0; sum <= 2u * 0xFFFFu; ++sum) {
            const uint16_t white = static_cast<uint16_t>(sum > 0xFFFFu ? 0xFFFFu : sum);
            const uint16_t warm = static_cast<uint16_t>(sum - white);
            ASSERT_EQ(_light_ctrl_data_calculate_brightness({white, warm}),
                      signed_brightness(mode, white, warm))
                << int(mode) << ": " << white << "+" << warm;
        }
        for (uint32_t v = 0; v <= 0xFFFFu; ++v) {
            const uint16_t c = static_cast<uint16_t>(v);
            const uint16_t other = static_cast<uint16_t>(0xFFFFu - v);
            ASSERT_EQ(_light_ctrl_data_calculate_brightness({c, other}),
                      signed_brightness(mode, c, other))
                << int(mode) << ": " << c << "," << other;
            for (const uint16_t fixed : {0, 1, 179, 180, 9000, 17999, 18000, 0xFFFF}) {
                if (mode == BRIGHT_MODE_CW && c == 0 && fixed == 0) {
                    continue; // (0, 0): callers do not convert it
                }
                ASSERT_EQ(_light_ctrl_data_calculate_temperature({c, fixed}),
                          signed_temperature(mode, c, fixed))
                    << int(mode) << ": " << c << "," << fixed;
                ASSERT_EQ(_light_ctrl_data_calculate_temperature({fixed, c}),
                          signed_temperature(mode, fixed, c))
                    << int(mode) << ": " << fixed << "," << c;
            }
        }
    }
}
