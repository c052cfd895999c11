// The countdown toggles the lamp on its n-th second and saves 5 s later.
#include "lamp_fixture.h"

namespace {

class Countdown : public LampTest {
  protected:
    uint8_t saved_power() {
        uint8_t rec[7] = {};
        nvm_read(NVM_KV_LIGHT_DATA, 0, rec, 7);
        return rec[1] == 0xAA ? rec[2] : 0xFF;
    }
};

} // namespace

TEST_F(Countdown, RangeIsZeroToOneDay) {
    light_ctrl_data.countdown = 42;
    struct Row {
        int32_t sec;
        light_result_t result;
        uint32_t countdown;
    };
    const Row rows[] = {{-1, LIGHT_INVALID_PARM, 42},
                        {86401, LIGHT_INVALID_PARM, 42},
                        {INT32_MIN, LIGHT_INVALID_PARM, 42},
                        {86400, LIGHT_OK, 86400},
                        {0, LIGHT_OK, 0}};
    for (const Row &r : rows) {
        EXPECT_EQ(light_ctrl_data_countdown_set(r.sec), r.result) << r.sec;
        EXPECT_EQ(light_ctrl_data.countdown, r.countdown) << r.sec;
    }
}

TEST_F(Countdown, CountsDownEachSecondAndTogglesOnTheLast) {
    set_state(true, 50, 30);
    light_ctrl_process(SWITCH_DIRECT);
    ASSERT_EQ(light_ctrl_data_countdown_set(3), LIGHT_OK);
    const uint32_t expected[] = {3, 2, 1, 0};
    for (uint32_t s = 0; s < 4; ++s) {
        board_run_until(s * 1000000u);
        EXPECT_EQ(light_ctrl_data.countdown, expected[s]) << s;
        EXPECT_EQ(light_ctrl_data.switch_status, s < 3) << s;
    }
    EXPECT_TRUE(board_timer14_running()); // the toggle fades
    run_fade();
    EXPECT_EQ(shown(), (output_pair{0, 5400}));
}

TEST_F(Countdown, ToggleIsSavedFiveSecondsLater) {
    set_state(true, 50, 30);
    light_ctrl_process(SWITCH_DIRECT);
    light_ctrl_data_countdown_set(1);
    board_run_until(1000000);
    EXPECT_FALSE(light_ctrl_data.switch_status);
    EXPECT_EQ(light_ctrl_data.countdown, 0u);
    board_run_until(5999000);
    EXPECT_EQ(saved_power(), 0xFF);
    board_run_until(6000000);
    EXPECT_EQ(saved_power(), 0);
}

TEST_F(Countdown, SwitchedOffLampIsSwitchedOnAfterADay) {
    set_state(false, 40, 0);
    light_ctrl_data_countdown_set(86400);
    board_run_until(86399999999u / 1000u * 1000u - 1000u);
    EXPECT_FALSE(light_ctrl_data.switch_status);
    EXPECT_EQ(light_ctrl_data.countdown, 1u);
    board_run_until(86400000000u);
    EXPECT_TRUE(light_ctrl_data.switch_status);
    run_fade();
    EXPECT_EQ(shown(), (output_pair{7200, 0}));
}

TEST_F(Countdown, ZeroStopsAndANewValueReplacesARunningCountdown) {
    set_state(true, 50, 30);
    light_ctrl_data_countdown_set(2);
    run_ms(1500);
    light_ctrl_data_countdown_set(0);
    run_ms(5000);
    EXPECT_TRUE(light_ctrl_data.switch_status);

    light_ctrl_data_countdown_set(5);
    run_ms(2500);
    light_ctrl_data_countdown_set(2); // re-armed: counts from now
    run_ms(1999);
    EXPECT_TRUE(light_ctrl_data.switch_status);
    run_ms(1);
    EXPECT_FALSE(light_ctrl_data.switch_status);
}
