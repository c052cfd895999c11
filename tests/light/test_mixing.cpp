// Brightness and temperature become channel values by the documented rounding,
// in both mixing modes, and convert back as documented.
#include "lamp_fixture.h"

namespace {

struct MixRow {
    uint16_t bright, temper;
    output_pair cw, cct;
};

// Worked out by hand; (5, 13) and (1, 35) depend on single-precision rounding.
const MixRow mix_table[] = {
    {50, 30, {2700, 6300}, {9000, 5400}}, {33, 70, {4158, 1782}, {5940, 12600}},
    {7, 13, {163, 1097}, {1260, 2340}},   {5, 13, {116, 784}, {900, 2340}},
    {1, 35, {63, 117}, {180, 6300}},      {1, 50, {90, 90}, {180, 9000}},
    {0, 0, {0, 180}, {180, 0}},           {100, 100, {18000, 0}, {18000, 18000}},
    {100, 0, {0, 18000}, {18000, 0}},
};

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
}

TEST_F(Mixing, RestoredValuesAbove100WrapOrPassUnclamped) {
    // 200 % at temperature 200: 36000 * 2.0 = 72000 wraps to 6464 in 16 bits,
    // warm = 36000 - 6464 = 29536, then clamped to full scale.
    EXPECT_EQ(applied(BRIGHT_MODE_CW, 200, 200), (output_pair{6464, 18000}));
    // The low byte is what is mixed: 300 % is 44 %.
    EXPECT_EQ(applied(BRIGHT_MODE_CCT, 300, 150), (output_pair{7920, 27000}));
}

TEST_F(Mixing, UnknownModeLeavesTheTargetsUntouched) {
    light_ctrl_handle.target_val = {123, 456};
    light_cfg_data.bright_mode = BRIGHT_MODE_MAX;
    bright_data_t result = {123, 456};
    _light_ctrl_data_calculate_cw(50, 50, &result);
    EXPECT_EQ(result.white, 123);
    EXPECT_EQ(result.warm, 456);
    EXPECT_EQ(_light_ctrl_data_calculate_brightness({9000, 9000}), 0);
    EXPECT_EQ(_light_ctrl_data_calculate_temperature({9000, 9000}), 0);
}

TEST_F(Mixing, ReverseConversionOfKnownPairs) {
    light_cfg_data.bright_mode = BRIGHT_MODE_CW;
    EXPECT_EQ(_light_ctrl_data_calculate_brightness({163, 1097}), 7);
    EXPECT_EQ(_light_ctrl_data_calculate_temperature({163, 1097}), 12);
    EXPECT_EQ(_light_ctrl_data_calculate_temperature({8177, 2443}), 76);
    light_cfg_data.bright_mode = BRIGHT_MODE_CCT;
    EXPECT_EQ(_light_ctrl_data_calculate_brightness({12600, 5400}), 70);
    EXPECT_EQ(_light_ctrl_data_calculate_temperature({12600, 5400}), 30);
}

TEST_F(Mixing, RoundTripOverTheWholeInputRange) {
    int cw_temper_one_lower = 0;
    for (uint16_t bright = 1; bright <= 100; ++bright) {
        for (uint16_t temper = 0; temper <= 100; ++temper) {
            bright_data_t out = {};
            light_cfg_data.bright_mode = BRIGHT_MODE_CCT;
            _light_ctrl_data_calculate_cw(static_cast<uint8_t>(bright),
                                          static_cast<uint8_t>(temper), &out);
            ASSERT_EQ(_light_ctrl_data_calculate_brightness(out), bright);
            ASSERT_EQ(_light_ctrl_data_calculate_temperature(out), temper);

            light_cfg_data.bright_mode = BRIGHT_MODE_CW;
            _light_ctrl_data_calculate_cw(static_cast<uint8_t>(bright),
                                          static_cast<uint8_t>(temper), &out);
            ASSERT_EQ(_light_ctrl_data_calculate_brightness(out), bright);
            const uint16_t back = _light_ctrl_data_calculate_temperature(out);
            ASSERT_TRUE(back == temper || back + 1 == temper) << bright << "," << temper;
            cw_temper_one_lower += back != temper;
        }
    }
    EXPECT_GT(cw_temper_one_lower, 1000); // "often", not always
}

TEST_F(Mixing, OutputWritesChannelZeroFirstAndAlwaysSucceeds) {
    EXPECT_EQ(light_set_cw(17999, 1), LIGHT_OK);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].channel, 0);
    EXPECT_EQ(writes[0].duty, 17999);
    EXPECT_EQ(writes[1].channel, 1);
    EXPECT_EQ(writes[1].duty, 1);
}
