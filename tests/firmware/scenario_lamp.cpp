#include "scenario_lamp.h"

#include "script.h"

#include "light_ctrl.h"
#include "nvm_data_mgmt.h"

namespace {

void report_state() {
    script_report_state();
}

void adjust(light_adjusted_mode_t mode) {
    script_result("adjusted", light_ctrl_data_adjusted(mode));
    script_result("process", light_ctrl_process(SWITCH_GRADUAL));
}

void bright_down() {
    adjust(BRIGHT_DEC);
}
void temper_up() {
    adjust(TEMPER_INC);
}
void bright_up_while_off() {
    script_result("adjusted", light_ctrl_data_adjusted(BRIGHT_INC));
}

void countdown() {
    script_result("countdown_set", light_ctrl_data_countdown_set(2));
    script_result("countdown_set", light_ctrl_data_countdown_set(-1));
    script_result("countdown_set", light_ctrl_data_countdown_set(86401));
}

void switch_on() {
    script_result("switch_set", light_ctrl_data_switch_set(true));
    script_result("process", light_ctrl_process(SWITCH_GRADUAL));
}

void blink_lit() {
    script_result("blink_start", light_ctrl_blink_start(WITH_START, 2, 500));
}

void cold_warm_mix() {
    light_cfg_data.bright_mode = BRIGHT_MODE_CW;
    script_result("bright_set", light_ctrl_data_bright_set(60));
    script_result("temperature_set", light_ctrl_data_temperature_set(30));
    script_result("process", light_ctrl_process(SWITCH_GRADUAL));
}

void cold_warm_swap() {
    script_result("temperature_set", light_ctrl_data_temperature_set(80));
    script_result("process", light_ctrl_process(SWITCH_GRADUAL));
}

void blink_to_dark() {
    script_result("blink_start", light_ctrl_blink_start(WITH_OFF, 1, 1000));
}

void light_again() {
    script_result("process", light_ctrl_process(SWITCH_GRADUAL));
}

void save() {
    script_result("auto_save", light_ctrl_data_auto_save());
    uint8_t record[sizeof(light_app_data_flash_t)] = {};
    nvm_read(NVM_KV_LIGHT_DATA, 0, record, sizeof record);
    for (uint8_t byte : record) {
        script_result("record_byte", byte);
    }
}

void reset() {
    script_note("reset");
    script_platform_reset();
}

void done() {
    script_note("done");
    script_platform_done(0);
}

const script_step_t first_boot[] = {
    {5100, report_state},        // the start-up fade has arrived (4986 ms)
    {5200, bright_down},         // one level down the table
    {5300, bright_down},         // repeated within 300 ms: ramp to the limit
    {5400, bright_down},         // already at the limit
    {5500, bright_down},         // last command: the ramp freezes at 5800
    {6000, report_state},        // brightness as frozen
    {6100, temper_up},           // one temperature step
    {7000, countdown},           // switches off at 9000, saves at 14000
    {9500, bright_up_while_off}, // refused: the lamp is off
    {12000, switch_on},          //
    {15000, blink_lit},          // four toggles 500 ms apart
    {18000, cold_warm_mix},      // cold/warm mixing
    {24000, cold_warm_swap},     // channels move in opposite directions
    {26000, blink_to_dark},      // three toggles, ends dark
    {30500, light_again},        //
    {33000, save},               //
    {33100, reset},              //
};

const script_step_t second_boot[] = {
    {3500, report_state}, // restored and faded in
    {3600, done},
};

} // namespace

void scenario_lamp_start(uint8_t boot) {
    script_result("boot", boot);
    light_ctrl_init();
    if (boot == 1) {
        script_run(first_boot, sizeof first_boot / sizeof first_boot[0]);
    } else {
        script_run(second_boot, sizeof second_boot / sizeof second_boot[0]);
    }
}
