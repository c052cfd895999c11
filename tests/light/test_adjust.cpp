// The first command of a kind steps along the level table or by the
// brightness-dependent temperature step, over the table's boundaries and the
// restored values above 100 that no setter can make. Holds, releases and saves
// are in tests/scenarios/adjust.lamp and cold_warm.lamp.
#include "lamp_fixture.h"

namespace {
class Adjust : public LampTest {};
} // namespace

TEST_F(Adjust, FirstCommandStepsAlongTheLevelTableOrByTheTemperatureStep) {
    struct Row {
        uint16_t bright, temper;
        light_adjusted_mode_t mode;
        uint16_t want_bright, want_temper;
    };
    const Row rows[] = {
        {50, 30, BRIGHT_INC, 71, 30},     {50, 30, BRIGHT_DEC, 48, 30},
        {100, 30, BRIGHT_INC, 100, 30},   {1, 30, BRIGHT_DEC, 1, 30},
        {150, 30, BRIGHT_INC, 6, 30},     {150, 30, BRIGHT_DEC, 1, 30},
        {150, 30, TEMPER_INC, 150, 80},   {85, 95, TEMPER_INC, 85, 100},
        {85, 95, TEMPER_DEC, 85, 85},     {1, 30, TEMPER_INC, 1, 80},
        {1, 30, TEMPER_DEC, 1, 0},        {6, 40, TEMPER_DEC, 6, 0},
        {14, 40, TEMPER_INC, 14, 73},     {100, 0, TEMPER_INC, 100, 9},
        {100, 200, TEMPER_INC, 100, 100}, // restored above 100: the wrap gives 100
    };
    for (const Row &r : rows) {
        power_on();
        set_state(true, r.bright, r.temper);
        EXPECT_EQ(light_ctrl_data_adjusted(r.mode), LIGHT_OK);
        EXPECT_EQ(light_ctrl_data.bright, r.want_bright) << r.bright << " " << int(r.mode);
        EXPECT_EQ(light_ctrl_data.temper, r.want_temper) << r.bright << " " << int(r.mode);
        EXPECT_EQ(light_ctrl_data.adjusted_mode, r.mode);
    }
}
