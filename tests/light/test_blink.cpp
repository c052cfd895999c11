// Blinks toggle the outputs a counted number of times, each toggle a short fade,
// and end in the requested state without touching the switch.
#include "lamp_fixture.h"

namespace {

class Blink : public LampTest {
  protected:
    // Samples the outputs just before each toggle after the first, and once
    // after the last, so each sample shows a completed toggle.
    std::vector<output_pair> samples(uint32_t period_ms, int count) {
        std::vector<output_pair> seen;
        for (int k = 1; k <= count; ++k) {
            board_run_until((uint64_t(k) * period_ms + period_ms - 1) * 1000u);
            seen.push_back(shown());
        }
        return seen;
    }
    // Tick periods timer 14 was started with, one per toggle.
    std::vector<uint32_t> periods;
};

const output_pair dark = {0, 0};

} // namespace

TEST_F(Blink, ToggleCountAndEndStateFollowTheRequest) {
    struct Case {
        bright_mode_t mode;
        bool on;
        blink_end_state_t end;
        uint8_t cnt;
        uint16_t period;
        output_pair lit;
        int toggles;
        uint32_t tick_us;
    };
    const Case cases[] = {
        {BRIGHT_MODE_CCT, true, WITH_START, 3, 500, {9000, 5400}, 6, 22},
        {BRIGHT_MODE_CCT, true, WITH_OFF, 2, 1000, {9000, 5400}, 5, 50},
        {BRIGHT_MODE_CW, true, WITH_ON, 2, 1000, {2700, 6300}, 4, 50},
        {BRIGHT_MODE_CW, false, WITH_ON, 1, 1000, {2700, 6300}, 3, 50},
        {BRIGHT_MODE_CW, false, WITH_START, 2, 700, {2700, 6300}, 4, 33},
        {BRIGHT_MODE_CW, true, WITH_START, 0, 500, {2700, 6300}, 0, 0},
        {BRIGHT_MODE_CW, true, WITH_START, 128, 500, {2700, 6300}, 0, 0}, // 256 wraps to 0
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.mode) << " " << c.on << " " << int(c.end));
        power_on();
        light_cfg_data.bright_mode = c.mode;
        set_state(c.on, 50, 30);
        light_ctrl_process(SWITCH_DIRECT);
        const output_pair start = shown();
        EXPECT_EQ(light_ctrl_blink_start(c.end, c.cnt, c.period), LIGHT_OK);
        const auto seen = samples(c.period, c.toggles + 2);
        output_pair expect = start;
        for (int k = 0; k < c.toggles + 2; ++k) {
            if (k < c.toggles) {
                expect = expect == dark ? c.lit : dark;
            }
            EXPECT_EQ(seen[size_t(k)], expect) << "after toggle " << k + 1;
        }
        EXPECT_EQ(light_ctrl_data.blink_cnt, 0);
        EXPECT_EQ(light_ctrl_data.switch_status, c.on);
        EXPECT_EQ(light_ctrl_data.bright, 50);
        if (c.toggles > 0) {
            EXPECT_EQ(board_timer14_period_us(), c.tick_us);
        }
    }
}

TEST_F(Blink, LitEndOnASwitchedOffBrightnessTemperatureLampDoesNotStayLit) {
    set_state(false, 50, 30);
    light_ctrl_blink_start(WITH_ON, 1, 1000);
    board_run_until(6000000);
    // The third toggle reaches the lit state, then the delayed shut-down that
    // its arrival armed clears the outputs.
    bool lit_after_third = false;
    const auto pairs = outputs();
    for (size_t i = 0; i < pairs.size(); ++i) {
        lit_after_third |= writes[2 * i].t_us > 3000000 && pairs[i] == output_pair{9000, 5400};
    }
    EXPECT_TRUE(lit_after_third);
    EXPECT_EQ(shown(), dark);
    EXPECT_EQ(light_ctrl_data.blink_cnt, 0);
    EXPECT_FALSE(light_ctrl_data.switch_status);
}

TEST_F(Blink, ToggleFadeEndsBeforeTheNextToggle) {
    set_state(true, 100, 100);
    light_ctrl_process(SWITCH_DIRECT);
    light_ctrl_blink_start(WITH_START, 1, 500);
    board_run_until(500000);
    writes.clear();
    run_fade();
    // 18000 ticks of 22 us: 396 ms, the margin the period formula keeps.
    EXPECT_EQ(outputs().size(), 18000u);
    EXPECT_EQ(writes.back().t_us, 500000u + 18000u * 22u);
    EXPECT_EQ(shown(), dark);
}

TEST_F(Blink, PeriodsTooShortForAFadeToggleAtOnce) {
    for (uint16_t period : {uint16_t(117), uint16_t(100), uint16_t(60), uint16_t(1)}) {
        SCOPED_TRACE(period);
        power_on();
        set_state(true, 50, 30);
        light_ctrl_process(SWITCH_DIRECT);
        writes.clear();
        light_ctrl_blink_start(WITH_START, 2, period);
        std::vector<output_pair> seen;
        for (int k = 1; k <= 5; ++k) {
            board_run_until(uint64_t(k) * period * 1000u);
            seen.push_back(shown());
            EXPECT_FALSE(board_timer14_running());
        }
        const output_pair lit = {9000, 5400};
        EXPECT_EQ(seen, (std::vector<output_pair>{dark, lit, dark, lit, lit}));
        EXPECT_EQ(outputs().size(), 4u); // one write per toggle, no fade ticks
    }
}

TEST_F(Blink, ShortestFadingPeriodStillFades) {
    set_state(true, 50, 30);
    light_ctrl_process(SWITCH_DIRECT);
    light_ctrl_blink_start(WITH_START, 1, 118); // (118 - 100) * 1000 / 18000 = 1 us
    board_run_until(118000);
    EXPECT_TRUE(board_timer14_running());
    EXPECT_EQ(board_timer14_period_us(), 1u);
}
