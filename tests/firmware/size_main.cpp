// The lamp firmware as a product builds it: the board, the store, the module,
// every exported operation called, then the clocks and idle. Link-time
// optimised like every image; nothing of a test in it. The arguments and the
// configuration come from memory the optimiser cannot see into, so no
// operation is specialised for the values of this program.
//
// Built twice: as it is for the size test (firmware_size), and with
// LIGHT_CALL_THROUGH_POINTERS for the stack test (firmware_stack), where every
// exported operation, nvm_init and nvm_write is called through a pointer read
// back from memory, so that each stays a function of its own instead of being
// inlined into main, and has a figure of its own in the image's call graph.
#include "board_microbit.h"
#include "light_ctrl.h"
#include "nvm_data_mgmt.h"

namespace {
volatile uint32_t input;
volatile uint32_t sink;

template <typename T> T arg() {
    return static_cast<T>(input);
}

#if LIGHT_CALL_THROUGH_POINTERS
template <typename F> F *opaque(F *fn) {
    static F *volatile kept;
    kept = fn;
    return kept;
}
#define CALL(fn) opaque(fn)
#else
#define CALL(fn) fn
#endif
} // namespace

int main() {
    light_cfg_data.light_way = arg<ctrl_light_way_t>();
    light_cfg_data.bright_mode = arg<bright_mode_t>();
    light_cfg_data.gradual_time = arg<uint32_t>();
    board_power_on();
#if LIGHT_CALL_THROUGH_POINTERS
    CALL(nvm_init)();
    uint8_t bytes[4] = {};
    sink = CALL(nvm_write)(arg<nvm_kv_t>(), arg<uint16_t>(), bytes, arg<uint16_t>());
    CALL(light_ctrl_gradually_timer_handler)();
#endif
    CALL(light_ctrl_init)();
    bool on = false;
    uint16_t bright = 0;
    uint16_t temper = 0;
    light_scene_data_flash_t scene = {};
    uint32_t r = CALL(light_ctrl_data_switch_set)(arg<uint32_t>() != 0);
    r += CALL(light_ctrl_data_switch_get)(input != 0 ? &on : nullptr);
    r += CALL(light_ctrl_data_bright_set)(arg<uint16_t>());
    r += CALL(light_ctrl_data_bright_get)(input != 0 ? &bright : nullptr);
    r += CALL(light_ctrl_data_temperature_set)(arg<uint16_t>());
    r += CALL(light_ctrl_data_temperature_get)(input != 0 ? &temper : nullptr);
    r += CALL(light_ctrl_scene_data_get)(input != 0 ? &scene : nullptr);
    r += CALL(light_ctrl_process)(arg<light_switch_mode_t>());
    r += CALL(light_ctrl_data_adjusted)(arg<light_adjusted_mode_t>());
    r += CALL(light_ctrl_data_countdown_set)(arg<int32_t>());
    r += CALL(light_ctrl_blink_start)(arg<blink_end_state_t>(), arg<uint8_t>(), arg<uint16_t>());
    r += CALL(light_ctrl_data_auto_save)();
    r += CALL(light_ctrl_data_auto_save_start)(arg<uint32_t>());
    sink = r + bright + temper + scene.bytes[0] + (on ? 1u : 0u);
    board_start_clocks();
    board_idle_forever();
}
