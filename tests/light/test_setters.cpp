// Setters clamp or refuse, getters check their pointers, and the scene snapshot
// keeps the caller's other bits.
#include "lamp_fixture.h"

namespace {
using Setters = LampTest;
} // namespace

TEST_F(Setters, ClampOnALitLampRefuseOnASwitchedOffOneAndNeverTouchTheOutputs) {
    struct Row {
        uint16_t in, bright, temper;
    };
    const Row rows[] = {{0, 1, 0},       {1, 1, 1},       {57, 57, 57},     {100, 100, 100},
                        {101, 100, 100}, {250, 100, 100}, {65535, 100, 100}};
    light_ctrl_data.switch_status = true;
    for (const Row &r : rows) {
        EXPECT_EQ(light_ctrl_data_bright_set(r.in), LIGHT_OK);
        EXPECT_EQ(light_ctrl_data_temperature_set(r.in), LIGHT_OK);
        EXPECT_EQ(light_ctrl_data.bright, r.bright) << r.in;
        EXPECT_EQ(light_ctrl_data.temper, r.temper) << r.in;
    }
    set_state(false, 40, 60);
    EXPECT_EQ(light_ctrl_data_bright_set(0), LIGHT_FAIL);
    EXPECT_EQ(light_ctrl_data_temperature_set(10), LIGHT_FAIL);
    EXPECT_EQ(light_ctrl_data.bright, 40);
    EXPECT_EQ(light_ctrl_data.temper, 60);
    EXPECT_TRUE(writes.empty());
}

TEST_F(Setters, GettersReadTheStateAndRefuseNull) {
    set_state(false, 42, 17);
    bool on = true;
    uint16_t bright = 0, temper = 0;
    EXPECT_EQ(light_ctrl_data_switch_get(&on), LIGHT_OK);
    EXPECT_EQ(light_ctrl_data_bright_get(&bright), LIGHT_OK); // also while off
    EXPECT_EQ(light_ctrl_data_temperature_get(&temper), LIGHT_OK);
    EXPECT_FALSE(on);
    EXPECT_EQ(bright, 42);
    EXPECT_EQ(temper, 17);
    EXPECT_EQ(light_ctrl_data_switch_get(nullptr), LIGHT_INVALID_PARM);
    EXPECT_EQ(light_ctrl_data_bright_get(nullptr), LIGHT_INVALID_PARM);
    EXPECT_EQ(light_ctrl_data_temperature_get(nullptr), LIGHT_INVALID_PARM);
    EXPECT_EQ(light_ctrl_scene_data_get(nullptr), LIGHT_INVALID_PARM);
}

TEST_F(Setters, SingleChannelLampIsAlwaysColdAndHasNoTemperatureToRead) {
    light_cfg_data.light_way = LIGHT_C;
    light_ctrl_data.switch_status = true;
    EXPECT_EQ(light_ctrl_data_temperature_set(0), LIGHT_OK);
    EXPECT_EQ(light_ctrl_data.temper, 100);
    uint16_t t = 777;
    EXPECT_EQ(light_ctrl_data_temperature_get(&t), LIGHT_INVALID_PARM);
    EXPECT_EQ(t, 777);
}

TEST_F(Setters, SceneSnapshotPacksBitsAndKeepsTheReservedBit) {
    struct Row {
        bool on;
        uint16_t bright, temper;
        uint8_t in0, in1, out0, out1;
    };
    const Row rows[] = {
        {true, 100, 30, 0x00, 0x80, 0xC9, 0x9E},
        {false, 100, 30, 0xFF, 0x7F, 0xC8, 0x1E},
        {true, 1, 0, 0x00, 0x00, 0x03, 0x00},
        {true, 200, 130, 0x00, 0xFF, 0x91, 0x82}, // low 7 bits of restored values
    };
    for (const Row &r : rows) {
        set_state(r.on, r.bright, r.temper);
        light_scene_data_flash_t scene = {{r.in0, r.in1}};
        EXPECT_EQ(light_ctrl_scene_data_get(&scene), LIGHT_OK);
        EXPECT_EQ(scene.bytes[0], r.out0) << r.bright;
        EXPECT_EQ(scene.bytes[1], r.out1) << r.bright;
    }
    const light_scene_data_flash_t s = {{0xC9, 0x9E}};
    EXPECT_EQ(LIGHT_SCENE_POWER(&s), 1);
    EXPECT_EQ(LIGHT_SCENE_BRIGHT(&s), 100);
    EXPECT_EQ(LIGHT_SCENE_TEMPER(&s), 30);
    EXPECT_EQ(LIGHT_SCENE_RESERVED(&s), 1);
}

// The low-power hooks are kept for the firmware's power management and do
// nothing: no record, output, fade or timer changes.
TEST_F(Setters, LowPowerHooksChangeNothing) {
    set_state(true, 40, 60);
    light_ctrl_process(SWITCH_GRADUAL);
    light_ctrl_data_countdown_set(5);
    board_run_for(1000);
    const auto state = [] {
        const light_ctrl_data_t &d = light_ctrl_data;
        const light_ctrl_handle_t &h = light_ctrl_handle;
        return std::vector<uint32_t>{d.switch_status,    d.bright,          d.temper,
                                     d.countdown,        d.adjusted_mode,   d.blink_cnt,
                                     h.target_val.white, h.target_val.warm, h.current_val.white,
                                     h.current_val.warm, h.first_change};
    };
    const std::vector<uint32_t> before = state();
    uint64_t next = 0;
    ASSERT_EQ(board_next_event_us(&next), 1);
    const size_t written = writes.size();

    _light_sys_ctrl_lowpower_enter();
    _light_sys_ctrl_lowpower_exist();
    EXPECT_TRUE(_light_ctrl_lowpower_process(false));
    light_ctrl_lowpower_enter_timer_handler(nullptr);

    EXPECT_EQ(state(), before);
    uint64_t next_after = 0;
    EXPECT_EQ(board_next_event_us(&next_after), 1);
    EXPECT_EQ(next_after, next);
    EXPECT_TRUE(board_timer14_running());
    EXPECT_EQ(writes.size(), written);
}
