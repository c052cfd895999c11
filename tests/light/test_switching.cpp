// light_ctrl_process makes the outputs follow the state, at once or by a fade,
// with the temperature channel held or jumped in brightness/temperature mode.
#include "lamp_fixture.h"

namespace {

class Switching : public LampTest {
  protected:
    // Lamp lit and at rest at the given state, with the write log cleared.
    void lit_at_rest(uint16_t bright, uint16_t temper) {
        set_state(true, bright, temper);
        light_ctrl_process(SWITCH_DIRECT);
        writes.clear();
    }
};

} // namespace

TEST_F(Switching, GradualSwitchOnFromDarkJumpsTemperatureAndFadesBrightness) {
    set_state(true, 100, 50);
    light_ctrl_process(SWITCH_GRADUAL);
    EXPECT_EQ(board_timer14_period_us(), 277u);
    EXPECT_TRUE(writes.empty()); // the jump is written by the first tick
    run_fade();
    const auto pairs = outputs();
    ASSERT_EQ(pairs.size(), 18000u);
    EXPECT_EQ(pairs.front(), (output_pair{1, 9000}));
    EXPECT_EQ(pairs.back(), (output_pair{18000, 9000}));
    EXPECT_EQ(writes.front().t_us, 277u);
    EXPECT_EQ(writes.back().t_us, 18000u * 277u);
}

TEST_F(Switching, GradualSwitchOffHoldsTemperatureChannelOnlyInBrightnessTemperatureMode) {
    struct Case {
        bright_mode_t mode;
        uint16_t bright, temper;
        output_pair lit, end;
    };
    const Case cases[] = {
        {BRIGHT_MODE_CCT, 100, 50, {18000, 9000}, {0, 9000}},
        {BRIGHT_MODE_CW, 50, 30, {2700, 6300}, {0, 0}},
    };
    for (const Case &c : cases) {
        power_on();
        light_cfg_data.bright_mode = c.mode;
        lit_at_rest(c.bright, c.temper);
        EXPECT_EQ(shown(), c.lit);
        light_ctrl_data.switch_status = false;
        light_ctrl_process(SWITCH_GRADUAL);
        run_fade();
        for (const output_pair &p : outputs()) {
            if (c.mode == BRIGHT_MODE_CCT) {
                ASSERT_EQ(p.warm, 9000);
            }
        }
        EXPECT_EQ(shown(), c.end);
    }
}

TEST_F(Switching, DirectSwitchOffWritesDarkAtOnceAndLeavesNoFade) {
    lit_at_rest(50, 30);
    set_state(false, 50, 30);
    EXPECT_EQ(light_ctrl_process(SWITCH_DIRECT), LIGHT_OK);
    ASSERT_EQ(outputs().size(), 1u);
    EXPECT_EQ(outputs()[0], (output_pair{0, 0}));
    EXPECT_FALSE(board_timer14_running());
}

TEST_F(Switching, AnyModeOtherThanGradualAppliesAtOnce) {
    set_state(true, 50, 30);
    EXPECT_EQ(light_ctrl_process(7), LIGHT_OK);
    EXPECT_EQ(outputs(), (std::vector<output_pair>{{9000, 5400}}));
    EXPECT_FALSE(board_timer14_running());
}

TEST_F(Switching, ChangesOnALitLampFadeOnlyTheChannelsThatChange) {
    struct Case {
        uint16_t bright, temper;
        size_t writing_ticks;
        output_pair end;
    };
    // From (9000, 5400): a temperature change fades channel 1 (no jump), a
    // brightness change channel 0; both together arrive on the same tick.
    const Case cases[] = {
        {50, 40, 1800, {9000, 7200}},
        {60, 30, 1800, {10800, 5400}},
        {60, 60, 5400, {10800, 10800}},
    };
    for (const Case &c : cases) {
        power_on();
        lit_at_rest(50, 30);
        light_ctrl_process(SWITCH_GRADUAL); // the previous call saw the lamp on
        run_fade();
        writes.clear();
        set_state(true, c.bright, c.temper);
        light_ctrl_process(SWITCH_GRADUAL);
        run_fade();
        const auto pairs = outputs();
        ASSERT_EQ(pairs.size(), c.writing_ticks);
        EXPECT_EQ(pairs.back(), c.end);
        EXPECT_FALSE(pairs[pairs.size() - 2] == c.end); // both arrive on the last tick
        for (const output_pair &p : pairs) {
            if (c.bright == 50) {
                ASSERT_EQ(p.white, 9000);
            }
            if (c.temper == 30) {
                ASSERT_EQ(p.warm, 5400);
            }
        }
    }
}

TEST_F(Switching, AFadeTurnedAroundMidwayContinuesFromWhereItIs) {
    set_state(true, 100, 0);
    light_ctrl_process(SWITCH_GRADUAL);
    board_run_for(1000u * 277u);
    EXPECT_EQ(shown(), (output_pair{1000, 0}));
    light_ctrl_data.switch_status = false;
    light_ctrl_process(SWITCH_GRADUAL);
    writes.clear();
    run_fade();
    const auto pairs = outputs();
    ASSERT_EQ(pairs.size(), 1000u);
    EXPECT_EQ(pairs.front(), (output_pair{999, 0}));
    EXPECT_EQ(pairs.back(), (output_pair{0, 0}));
}

TEST_F(Switching, SwitchingOnWithinTheSecondCancelsTheDelayedShutDown) {
    lit_at_rest(20, 50);
    light_ctrl_data.switch_status = false;
    light_ctrl_process(SWITCH_GRADUAL);
    run_fade();
    EXPECT_EQ(shown(), (output_pair{0, 9000}));
    run_ms(500);
    light_ctrl_data.switch_status = true;
    light_ctrl_process(SWITCH_GRADUAL);
    run_ms(3000);
    EXPECT_EQ(shown(), (output_pair{3600, 9000}));
    for (const output_pair &p : outputs()) {
        ASSERT_EQ(p.warm, 9000); // never cleared
    }
}

TEST_F(Switching, SwitchOnAfterABlinkLitTheOutputsWritesNothingNew) {
    // Off state whose channel 0 already shows the switch-on target.
    light_ctrl_handle.current_val = {9000, 0};
    set_state(true, 50, 30);
    light_ctrl_process(SWITCH_GRADUAL);
    EXPECT_EQ(run_fade(), 1u);
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(light_ctrl_handle.current_val.warm, 5400); // not yet on the output
    EXPECT_EQ(board_pwm_duty(1), 0);
}
