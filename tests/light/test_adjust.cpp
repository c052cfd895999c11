// Step-and-hold: single commands step, repeats within 300 ms ramp to the limit,
// the window's end adopts what the outputs show and saves 3000 ms later.
#include "lamp_fixture.h"

#include <array>

namespace {

class Adjust : public LampTest {
  protected:
    std::array<uint8_t, 7> saved() {
        std::array<uint8_t, 7> rec{};
        nvm_read(NVM_KV_LIGHT_DATA, 0, rec.data(), 7);
        return rec;
    }
};

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

TEST_F(Adjust, RepeatWithinTheWindowHoldsAndReportsWhenAlreadyAtTheLimit) {
    struct Row {
        uint16_t bright, temper;
        light_adjusted_mode_t mode;
        light_result_t second;
        uint16_t bright_after, temper_after;
    };
    const Row rows[] = {
        {100, 30, BRIGHT_INC, LIGHT_ERROR, 100, 30}, {1, 30, BRIGHT_DEC, LIGHT_ERROR, 1, 30},
        {50, 30, BRIGHT_INC, LIGHT_OK, 100, 30},     {50, 30, BRIGHT_DEC, LIGHT_OK, 1, 30},
        {50, 30, TEMPER_INC, LIGHT_OK, 50, 100},     {50, 30, TEMPER_DEC, LIGHT_OK, 50, 0},
    };
    for (const Row &r : rows) {
        power_on();
        set_state(true, r.bright, r.temper);
        light_ctrl_data_adjusted(r.mode);
        run_ms(299);
        EXPECT_EQ(light_ctrl_data_adjusted(r.mode), r.second);
        EXPECT_EQ(light_ctrl_data.adjusted_mode, r.mode | ADJUST_HOLD_FLAG);
        EXPECT_EQ(light_ctrl_data.bright, r.bright_after);
        EXPECT_EQ(light_ctrl_data.temper, r.temper_after);
    }
}

TEST_F(Adjust, AnotherKindStartsItsOwnWindowAndUnknownKindsSetNothing) {
    set_state(true, 50, 30);
    light_ctrl_data_adjusted(BRIGHT_INC);
    light_ctrl_data_adjusted(BRIGHT_INC);
    EXPECT_EQ(light_ctrl_data_adjusted(TEMPER_DEC), LIGHT_OK);
    EXPECT_EQ(light_ctrl_data.adjusted_mode, TEMPER_DEC); // hold flag cleared
    EXPECT_EQ(light_ctrl_data_adjusted(ADJUST_NONE), LIGHT_ERROR);
    EXPECT_EQ(light_ctrl_data_adjusted(9), LIGHT_ERROR);
    EXPECT_EQ(light_ctrl_data.adjusted_mode, TEMPER_DEC);
    EXPECT_EQ(light_ctrl_data.bright, 100);
    // The unknown kind still restarted the window: it closes 300 ms later.
    run_ms(299);
    EXPECT_EQ(light_ctrl_data.adjusted_mode, TEMPER_DEC);
    run_ms(1);
    EXPECT_EQ(light_ctrl_data.adjusted_mode, 0);
}

TEST_F(Adjust, SwitchedOffLampFailsAndLeavesTheOpenWindowAlone) {
    set_state(true, 50, 30);
    light_ctrl_data_adjusted(BRIGHT_INC);
    run_ms(200);
    light_ctrl_data.switch_status = false;
    EXPECT_EQ(light_ctrl_data_adjusted(BRIGHT_INC), LIGHT_FAIL);
    EXPECT_EQ(light_ctrl_data.adjusted_mode, BRIGHT_INC);
    run_ms(100); // the window still ends 300 ms after the first command
    EXPECT_EQ(light_ctrl_data.adjusted_mode, 0);
}

// Step at 0 ms, hold at 100 ms, release: the window closes at 400 ms with the
// ramp frozen, and the save follows at 3400 ms.
TEST_F(Adjust, StepHoldReleaseAdoptsTheFrozenOutputAndSavesLater) {
    struct Case {
        bright_mode_t mode;
        uint16_t bright, temper;
        light_adjusted_mode_t kind;
        output_pair frozen;
        uint16_t bright_after, temper_after;
    };
    // 361 ticks of 277 us before the hold, 1083 after it.
    const Case cases[] = {
        // 9000 -> 12780 (71 %) for 361 ticks, then -> 18000 for 1083 ticks.
        {BRIGHT_MODE_CCT, 50, 30, BRIGHT_INC, {10444, 5400}, 58, 30},
        {BRIGHT_MODE_CW, 50, 100, BRIGHT_INC, {10444, 0}, 58, 100},
        // (2700, 6300) -> (3780, 5220) (42 %), then -> (9000, 0): both channels every tick.
        {BRIGHT_MODE_CW, 50, 30, TEMPER_INC, {4144, 4856}, 50, 46},
    };
    for (const Case &c : cases) {
        flash_host_erase_all();
        power_on();
        light_cfg_data.bright_mode = c.mode;
        set_state(true, c.bright, c.temper);
        light_ctrl_process(SWITCH_DIRECT);
        light_ctrl_process(SWITCH_GRADUAL);
        run_fade();
        board_reset(); // clock back to 0 for readable times; state stays
        ASSERT_EQ(light_ctrl_data_adjusted(c.kind), LIGHT_OK);
        light_ctrl_process(SWITCH_GRADUAL);
        board_run_until(100000);
        ASSERT_EQ(light_ctrl_data_adjusted(c.kind), LIGHT_OK);
        light_ctrl_process(SWITCH_GRADUAL);
        board_run_until(400000);
        EXPECT_FALSE(board_timer14_running());
        EXPECT_EQ(shown(), c.frozen);
        EXPECT_EQ(light_ctrl_data.bright, c.bright_after);
        EXPECT_EQ(light_ctrl_data.temper, c.temper_after);
        EXPECT_EQ(light_ctrl_data.adjusted_mode, 0);
        run_ms(2999);
        EXPECT_EQ(saved()[1], 0xFF);
        run_ms(1);
        const auto rec = saved();
        EXPECT_EQ(rec[1], 0xAA);
        EXPECT_EQ(rec[3], c.bright_after);
        EXPECT_EQ(rec[5], c.temper_after);
        EXPECT_EQ(shown(), c.frozen); // the ramp stays stopped
    }
}

TEST_F(Adjust, WindowEndAdoptsFromTheOutputsWhateverTheSwitch) {
    struct Row {
        bright_mode_t mode;
        uint8_t adjusted;
        output_pair shown;
        uint16_t bright, temper;
    };
    const Row rows[] = {
        {BRIGHT_MODE_CCT, BRIGHT_INC | ADJUST_HOLD_FLAG, {12600, 5400}, 70, 30},
        {BRIGHT_MODE_CCT,
         BRIGHT_DEC | ADJUST_HOLD_FLAG,
         {0, 0},
         0,
         30}, // after a direct switch-off
        {BRIGHT_MODE_CW, TEMPER_DEC | ADJUST_HOLD_FLAG, {0, 0}, 50, 30}, // dark: temperature kept
        {BRIGHT_MODE_CW, TEMPER_INC | ADJUST_HOLD_FLAG, {900, 0}, 50, 100},
        {BRIGHT_MODE_CW, TEMPER_INC, {900, 0}, 50, 30}, // no hold: nothing adopted
    };
    for (const Row &r : rows) {
        power_on();
        light_cfg_data.bright_mode = r.mode;
        set_state(false, 50, 30);
        light_ctrl_data.adjusted_mode = r.adjusted;
        light_ctrl_handle.current_val = {r.shown.white, r.shown.warm};
        _light_ctrl_data_adjusted_timer_callback(nullptr);
        EXPECT_EQ(light_ctrl_data.bright, r.bright);
        EXPECT_EQ(light_ctrl_data.temper, r.temper);
        EXPECT_EQ(light_ctrl_data.adjusted_mode, 0);
    }
}
