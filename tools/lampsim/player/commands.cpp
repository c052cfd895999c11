#include "commands.h"

#include "events.h"

#include "board_observe.h"
#include "light_ctrl.h"

#include <stddef.h>

namespace lampsim {
namespace {

const arg_word switch_modes[] = {
    {"gradual", SWITCH_GRADUAL},
    {"direct", SWITCH_DIRECT},
    {"SWITCH_GRADUAL", SWITCH_GRADUAL},
    {"SWITCH_DIRECT", SWITCH_DIRECT},
};
const arg_word on_off_words[] = {{"on", 1}, {"off", 0}, {"true", 1}, {"false", 0}};
const arg_word adjust_words[] = {
    {"bright+", BRIGHT_INC},      {"bright-", BRIGHT_DEC},    {"temper+", TEMPER_INC},
    {"temper-", TEMPER_DEC},      {"none", ADJUST_NONE},      {"BRIGHT_INC", BRIGHT_INC},
    {"BRIGHT_DEC", BRIGHT_DEC},   {"TEMPER_INC", TEMPER_INC}, {"TEMPER_DEC", TEMPER_DEC},
    {"ADJUST_NONE", ADJUST_NONE},
};
const arg_word blink_ends[] = {
    {"start", WITH_START},      {"on", WITH_ON},      {"off", WITH_OFF},
    {"WITH_START", WITH_START}, {"WITH_ON", WITH_ON}, {"WITH_OFF", WITH_OFF},
};
const arg_word mode_words[] = {
    {"cw", BRIGHT_MODE_CW},
    {"cct", BRIGHT_MODE_CCT},
    {"BRIGHT_MODE_CW", BRIGHT_MODE_CW},
    {"BRIGHT_MODE_CCT", BRIGHT_MODE_CCT},
};
const arg_word way_words[] = {
    {"c", LIGHT_C}, {"cw", LIGHT_CW}, {"LIGHT_C", LIGHT_C}, {"LIGHT_CW", LIGHT_CW}};
const arg_word result_words[] = {
    {"LIGHT_OK", LIGHT_OK},
    {"LIGHT_ERROR", LIGHT_ERROR},
    {"LIGHT_FAIL", LIGHT_FAIL},
    {"LIGHT_INVALID_PARM", LIGHT_INVALID_PARM},
};
const arg_word yes_no[] = {{"yes", 1}, {"no", 0}};

constexpr int64_t u8_max = 255, u16_max = 65535, u32_max = 4294967295;
constexpr int64_t i32_min = -2147483648LL, i32_max = 2147483647;

// A type's words and their count.
template <size_t n> constexpr uint8_t count_of(const arg_word (&)[n]) noexcept {
    return static_cast<uint8_t>(n);
}
#define WORDS(w) (w), count_of(w)

const arg_type switch_mode{
    "switch mode", "light_switch_mode_t", 0, u8_max, WORDS(switch_modes), true, false};
const arg_type on_off{"on/off", "bool", 0, 1, WORDS(on_off_words), true, false};
const arg_type percent{"value", "uint16_t", 0, u16_max, nullptr, 0, true, false};
const arg_type adjust_kind{
    "adjustment", "light_adjusted_mode_t", 0, u8_max, WORDS(adjust_words), true, false};
const arg_type seconds{"countdown", "int32_t", i32_min, i32_max, nullptr, 0, true, false};
const arg_type blink_end{
    "blink end state", "blink_end_state_t", 0, u8_max, WORDS(blink_ends), true, false};
const arg_type blink_count{"blink count", "uint8_t", 0, u8_max, nullptr, 0, true, false};
const arg_type blink_period{"blink period", "uint16_t", 0, u16_max, nullptr, 0, true, false};
const arg_type delay_ms{"delay", "uint32_t", 0, u32_max, nullptr, 0, true, false};
const arg_type bright_mode{"mode", "bright_mode_t", 0, u8_max, WORDS(mode_words), true, false};
const arg_type light_way{"way", "ctrl_light_way_t", 0, u8_max, WORDS(way_words), true, false};
const arg_type gradual_ms{"gradual time", "uint32_t", 0, u32_max, nullptr, 0, true, false};
const arg_type duration{"duration", "uint64_t us", 0, 0, nullptr, 0, false, true};
const arg_type duty{"output", "uint16_t", 0, u16_max, nullptr, 0, true, false};
const arg_type count32{"countdown", "uint32_t", 0, u32_max, nullptr, 0, true, false};
const arg_type toggles{"blink toggles", "uint8_t", 0, u8_max, nullptr, 0, true, false};
const arg_type result_name{"result", "light_result_t", 0, u8_max, WORDS(result_words), true, false};
const arg_type fading{"fading", "bool", 0, 1, WORDS(yes_no), false, false};
const arg_type power_byte{"power", "uint8_t", 0, u8_max, nullptr, 0, true, false};

#undef WORDS

int16_t run_process(const int64_t *a, readings &) {
    return light_ctrl_process(static_cast<light_switch_mode_t>(a[0]));
}
int16_t run_switch(const int64_t *a, readings &) {
    return light_ctrl_data_switch_set(a[0] != 0);
}
int16_t run_bright(const int64_t *a, readings &) {
    return light_ctrl_data_bright_set(static_cast<uint16_t>(a[0]));
}
int16_t run_temper(const int64_t *a, readings &) {
    return light_ctrl_data_temperature_set(static_cast<uint16_t>(a[0]));
}
int16_t run_adjust(const int64_t *a, readings &) {
    return light_ctrl_data_adjusted(static_cast<light_adjusted_mode_t>(a[0]));
}
int16_t run_countdown(const int64_t *a, readings &) {
    return light_ctrl_data_countdown_set(static_cast<int32_t>(a[0]));
}
int16_t run_blink(const int64_t *a, readings &) {
    return light_ctrl_blink_start(static_cast<blink_end_state_t>(a[0]), static_cast<uint8_t>(a[1]),
                                  static_cast<uint16_t>(a[2]));
}
int16_t run_save(const int64_t *, readings &) {
    return light_ctrl_data_auto_save();
}
int16_t run_save_after(const int64_t *a, readings &) {
    return light_ctrl_data_auto_save_start(static_cast<uint32_t>(a[0]));
}
int16_t run_scene(const int64_t *, readings &out) {
    light_scene_data_flash_t scene = {};
    const light_result_t r = light_ctrl_scene_data_get(&scene);
    out = {{scene.bytes[0], scene.bytes[1], LIGHT_SCENE_POWER(&scene), LIGHT_SCENE_BRIGHT(&scene),
            LIGHT_SCENE_TEMPER(&scene)},
           5};
    return r;
}
int16_t run_state(const int64_t *, readings &out) {
    // Each getter before its value is read.
    bool on = false;
    const light_result_t r_switch = light_ctrl_data_switch_get(&on);
    uint16_t bright = 0;
    const light_result_t r_bright = light_ctrl_data_bright_get(&bright);
    uint16_t temper = 0;
    const light_result_t r_temper = light_ctrl_data_temperature_get(&temper);
    out = {{on ? 1 : 0, r_switch, bright, r_bright, temper, r_temper, board_pwm_duty(0),
            board_pwm_duty(1)},
           8};
    return no_result;
}
int16_t run_init(const int64_t *, readings &) {
    light_ctrl_init();
    return no_result;
}

constexpr arg_spec none{nullptr, nullptr, nullptr};

} // namespace

// clang-format off
const command_spec command_table[] = {
    {"init", step_kind::init, 0, 0, false, false, {none, none, none},
     "light_ctrl_init(); after a power-cut, the power-on first", run_init, nullptr},
    {"process", step_kind::call, 1, 0, false, true, {{nullptr, "gradual|direct|N", &switch_mode}, none, none},
     "light_ctrl_process(mode): the outputs follow the state, by a fade or at once", run_process, nullptr},
    {"switch", step_kind::call, 1, 0, false, true, {{nullptr, "on|off", &on_off}, none, none},
     "light_ctrl_data_switch_set(on)", run_switch, nullptr},
    {"bright", step_kind::call, 1, 0, false, true, {{nullptr, "N", &percent}, none, none},
     "light_ctrl_data_bright_set(bright)", run_bright, nullptr},
    {"temper", step_kind::call, 1, 0, false, true, {{nullptr, "N", &percent}, none, none},
     "light_ctrl_data_temperature_set(temperature)", run_temper, nullptr},
    {"adjust", step_kind::call, 1, 0, false, true, {{nullptr, "bright+|bright-|temper+|temper-|none|N", &adjust_kind}, none, none},
     "light_ctrl_data_adjusted(mode): a step, or a hold when repeated within 300 ms", run_adjust, nullptr},
    {"countdown", step_kind::call, 1, 0, false, true, {{nullptr, "SECONDS", &seconds}, none, none},
     "light_ctrl_data_countdown_set(seconds)", run_countdown, nullptr},
    {"blink", step_kind::call, 3, 0, false, true, {{nullptr, "start|on|off", &blink_end}, {nullptr, "COUNT", &blink_count}, {nullptr, "PERIOD_MS", &blink_period}},
     "light_ctrl_blink_start(end, count, period_ms)", run_blink, nullptr},
    {"save", step_kind::call, 0, 0, false, true, {none, none, none},
     "light_ctrl_data_auto_save(): the record, now", run_save, nullptr},
    {"save-after", step_kind::call, 1, 0, false, true, {{nullptr, "MS", &delay_ms}, none, none},
     "light_ctrl_data_auto_save_start(delay_ms)", run_save_after, nullptr},
    {"scene", step_kind::report, 0, 0, false, true, {none, none, none},
     "light_ctrl_scene_data_get(): its result, the snapshot's bytes and fields", run_scene, "bytes %x %x (power %u, bright %u, temper %u)"},
    {"state", step_kind::report, 0, 0, false, false, {none, none, none},
     "the three getters' results and values, and the outputs", run_state, "switch %o (%r), bright %u (%r), temper %u (%r), outputs %O"},
    {"config", step_kind::config, 3, 0, false, false, {{"mode", "cw|cct", &bright_mode}, {"way", "c|cw", &light_way}, {"gradual", "MS", &gradual_ms}},
     "the configuration, before init (kept across power cuts)", nullptr, nullptr},
    {"power-cut", step_kind::power_cut, 0, 0, false, false, {none, none, none},
     "the supply fails: RAM and board reset, the flash stays; config, nvm-fail and init may follow", nullptr, nullptr},
    {"nvm-fail", step_kind::nvm_fail, 1, 0, false, false, {{nullptr, "on|off", &on_off}, none, none},
     "the flash refuses every write while on (kept across power cuts)", nullptr, nullptr},
    {"run", step_kind::run, 1, 0, false, false, {{nullptr, "DURATION", &duration}, none, none},
     "lets time pass: the line's time is the end of the wait", nullptr, nullptr},
    {"end", step_kind::end, 0, 0, false, false, {none, none, none},
     "stops the run here (without it: until nothing is pending)", nullptr, nullptr},
    {"expect outputs", step_kind::expect, 2, snap_output0, false, false, {{nullptr, "W", &duty}, {nullptr, "C", &duty}, none},
     "the last values written to PWM channel 0 and channel 1", nullptr, nullptr},
    {"expect switch", step_kind::expect, 1, snap_switch, false, false, {{nullptr, "on|off", &on_off}, none, none},
     "the switch (switch_status)", nullptr, nullptr},
    {"expect bright", step_kind::expect, 1, snap_bright, false, false, {{nullptr, "N", &percent}, none, none},
     "the brightness (bright)", nullptr, nullptr},
    {"expect temper", step_kind::expect, 1, snap_temper, false, false, {{nullptr, "N", &percent}, none, none},
     "the temperature (temper)", nullptr, nullptr},
    {"expect countdown", step_kind::expect, 1, snap_countdown, false, false, {{nullptr, "N", &count32}, none, none},
     "the countdown's seconds left", nullptr, nullptr},
    {"expect blink", step_kind::expect, 1, snap_blink, false, false, {{nullptr, "N", &toggles}, none, none},
     "the blink's toggles left (blink_cnt)", nullptr, nullptr},
    {"expect result", step_kind::expect, 1, snap_result, false, false, {{nullptr, "LIGHT_OK|LIGHT_ERROR|LIGHT_FAIL|LIGHT_INVALID_PARM", &result_name}, none, none},
     "the result of the previous operation", nullptr, nullptr},
    {"expect fading", step_kind::expect, 1, snap_fading, false, false, {{nullptr, "yes|no", &fading}, none, none},
     "whether timer 14 runs (a fade is going on)", nullptr, nullptr},
    {"expect saved", step_kind::expect, 3, snap_saved, true, false, {{nullptr, "P", &power_byte}, {nullptr, "B", &percent}, {nullptr, "T", &percent}},
     "the store's light record now: none (no valid record), or its power, brightness and temperature", nullptr, nullptr},
};
// clang-format on

const uint8_t command_count = sizeof command_table / sizeof command_table[0];

} // namespace lampsim
