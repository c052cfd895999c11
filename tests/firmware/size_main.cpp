// The lamp firmware as a product builds it, for the size test: the board, the
// store, the module, every exported operation called, then the clocks and
// idle. Link-time optimised like every image; nothing of a test in it. The
// arguments and the configuration come from memory the optimiser cannot see
// into, so no operation is specialised for the values of this program.
#include "board_microbit.h"
#include "light_ctrl.h"

namespace {
volatile uint32_t input;
volatile uint32_t sink;

template <typename T> T arg() {
    return static_cast<T>(input);
}
} // namespace

int main() {
    light_cfg_data.light_way = arg<ctrl_light_way_t>();
    light_cfg_data.bright_mode = arg<bright_mode_t>();
    light_cfg_data.gradual_time = arg<uint32_t>();
    board_power_on();
    light_ctrl_init();
    bool on = false;
    uint16_t bright = 0;
    uint16_t temper = 0;
    light_scene_data_flash_t scene = {};
    uint32_t r = light_ctrl_data_switch_set(arg<uint32_t>() != 0);
    r += light_ctrl_data_switch_get(input != 0 ? &on : nullptr);
    r += light_ctrl_data_bright_set(arg<uint16_t>());
    r += light_ctrl_data_bright_get(input != 0 ? &bright : nullptr);
    r += light_ctrl_data_temperature_set(arg<uint16_t>());
    r += light_ctrl_data_temperature_get(input != 0 ? &temper : nullptr);
    r += light_ctrl_scene_data_get(input != 0 ? &scene : nullptr);
    r += light_ctrl_process(arg<light_switch_mode_t>());
    r += light_ctrl_data_adjusted(arg<light_adjusted_mode_t>());
    r += light_ctrl_data_countdown_set(arg<int32_t>());
    r += light_ctrl_blink_start(arg<blink_end_state_t>(), arg<uint8_t>(), arg<uint16_t>());
    r += light_ctrl_data_auto_save();
    r += light_ctrl_data_auto_save_start(arg<uint32_t>());
    sink = r + bright + temper + scene.bytes[0] + (on ? 1u : 0u);
    board_start_clocks();
    board_idle_forever();
}
