// Brightness and temperature to channel values and back: hand-worked values in
// both mixing modes, and every input against the float form and the signed
// division the integer forms replaced.
#include "lamp_fixture.h"
#include "mix_sweep.h"

namespace {

struct MixRow {
    uint16_t bright, temper;
    output_pair cw, cct;
};

// Worked out by hand; (5, 13) and (1, 35) depend on single-precision rounding.
// Restored values above 100: their low byte is mixed (306 % as 50 %), and
// cold/warm products above 65535 wrap in 16 bits before the clamp (200 % at
// 200: 36000 * 2.0 = 72000 is 6464, warm 36000 - 6464 clamped).
const MixRow mix_table[] = {
    {50, 30, {2700, 6300}, {9000, 5400}}, {33, 70, {4158, 1782}, {5940, 12600}},
    {7, 13, {163, 1097}, {1260, 2340}},   {5, 13, {116, 784}, {900, 2340}},
    {1, 35, {63, 117}, {180, 6300}},      {306, 30, {2700, 6300}, {9000, 5400}},
    {0, 0, {0, 180}, {180, 0}},           {100, 100, {18000, 0}, {18000, 18000}},
    {100, 0, {0, 18000}, {18000, 0}},     {200, 200, {6464, 18000}, {36000, 36000}},
};

// The reverse conversions as they were: signed 32-bit division.
uint16_t signed_percent(bright_mode_t mode, bool temperature, int32_t w, int32_t m) {
    if (mode == BRIGHT_MODE_CW) {
        return static_cast<uint16_t>(temperature ? 100 * w / (w + m) : 100 * (w + m) / 18000);
    }
    if (mode == BRIGHT_MODE_CCT) {
        return static_cast<uint16_t>(100 * (temperature ? m : w) / 18000);
    }
    return 0;
}

class Mixing : public LampTest {
  protected:
    output_pair applied(bright_mode_t mode, uint16_t bright, uint16_t temper) {
        light_cfg_data.bright_mode = mode;
        set_state(true, bright, temper);
        writes.clear();
        light_ctrl_process(SWITCH_DIRECT);
        const auto pairs = outputs();
        EXPECT_EQ(pairs.size(), 1u);
        return pairs.empty() ? output_pair{} : pairs.back();
    }
};

} // namespace

TEST_F(Mixing, TableRowsComeOutExactlyInBothModes) {
    for (const MixRow &row : mix_table) {
        SCOPED_TRACE(::testing::Message() << "bright " << row.bright << " temper " << row.temper);
        EXPECT_EQ(applied(BRIGHT_MODE_CW, row.bright, row.temper), row.cw);
        EXPECT_EQ(applied(BRIGHT_MODE_CCT, row.bright, row.temper), row.cct);
    }
    EXPECT_EQ(light_set_cw(17999, 1), LIGHT_OK); // whatever the driver does
}

TEST_F(Mixing, IntegerMixingEqualsTheFloatFormForEveryInput) {
    const mix_sweep_t s = mix_sweep(_light_ctrl_data_calculate_cw);
    EXPECT_EQ(s.inputs, 3u * 256u * 256u);
    EXPECT_EQ(s.differences, 0u);
    EXPECT_EQ(s.candidate_sum, s.reference_sum);
    // The Cortex-M0 check image must arrive at the same value (tests/firmware/mix_float_check.py).
    EXPECT_EQ(s.reference_sum, mix_reference_sum);
    // And the sweep sees a form without the shortfall rule.
    EXPECT_EQ(mix_sweep(mix_plain_ninefifths).differences, 543u);
}

// Brightness depends on white + warm alone (cold/warm) or on white alone, the
// temperature in brightness/temperature mode on warm alone: every sum
// 0..131070 (white first) and every warm value is one input each. Cold/warm
// temperature stays a division by white + warm; it is checked along every
// white and every warm against a spread of the other channel.
TEST_F(Mixing, ReverseConversionsEqualSignedDivision) {
    for (const bright_mode_t mode : {BRIGHT_MODE_CW, BRIGHT_MODE_CCT, BRIGHT_MODE_MAX}) {
        light_cfg_data.bright_mode = mode;
        for (uint32_t sum = 0; sum <= 2u * 0xFFFFu; ++sum) {
            const uint16_t white = static_cast<uint16_t>(sum > 0xFFFFu ? 0xFFFFu : sum);
            const uint16_t warm = static_cast<uint16_t>(sum - white);
            ASSERT_EQ(_light_ctrl_data_calculate_brightness({white, warm}),
                      signed_percent(mode, false, white, warm))
                << int(mode) << ": " << white << "+" << warm;
        }
        for (uint32_t v = 0; v <= 0xFFFFu; ++v) {
            const uint16_t c = static_cast<uint16_t>(v);
            for (const uint16_t fixed : {0, 1, 179, 180, 9000, 17999, 18000, 0xFFFF}) {
                if (mode == BRIGHT_MODE_CW && c == 0 && fixed == 0) {
                    continue; // (0, 0): callers do not convert it
                }
                ASSERT_EQ(_light_ctrl_data_calculate_temperature({c, fixed}),
                          signed_percent(mode, true, c, fixed))
                    << int(mode) << ": " << c << "," << fixed;
                ASSERT_EQ(_light_ctrl_data_calculate_temperature({fixed, c}),
                          signed_percent(mode, true, fixed, c))
                    << int(mode) << ": " << fixed << "," << c;
            }
        }
    }
}
