#include "script.h"

#include "light_ctrl.h"
#include "timer.h"
#include "timer_service.h"

namespace {

const script_step_t *script_steps = nullptr;
uint32_t script_count = 0;
uint32_t script_next = 0;
timer_event_t script_timer = {};

void put(const char *text) {
    uint32_t len = 0;
    while (text[len] != '\0') {
        ++len;
    }
    script_platform_write(text, len);
}

void put_u64(uint64_t value) {
    char digits[21];
    uint32_t n = 0;
    do {
        digits[sizeof digits - 1 - n] = static_cast<char>('0' + value % 10u);
        value /= 10u;
        ++n;
    } while (value != 0);
    script_platform_write(&digits[sizeof digits - n], n);
}

void put_field(uint64_t value) {
    put(" ");
    put_u64(value);
}

void begin_result(const char *name) {
    put("r ");
    put_u64(timer_service_now());
    put(" ");
    put(name);
}

void arm_next(uint32_t now_ms) {
    if (script_next >= script_count) {
        return;
    }
    timer_set_value(&script_timer, script_steps[script_next].at_ms - now_ms);
    timer_start(&script_timer);
}

void script_timer_callback(void *param) {
    (void)param;
    const uint32_t now_ms = script_steps[script_next].at_ms;
    script_steps[script_next++].run();
    arm_next(now_ms);
}

} // namespace

void script_run(const script_step_t *steps, uint32_t count) {
    script_steps = steps;
    script_count = count;
    script_next = 0;
    script_timer = {};
    timer_init(&script_timer, script_timer_callback);
    arm_next(0);
}

void script_pwm_listener(void *ctx, uint64_t t_us, uint8_t channel, uint16_t duty) {
    (void)ctx;
    put("w");
    put_field(t_us);
    put_field(channel);
    put_field(duty);
    put("\n");
}

void script_result(const char *name, uint32_t value) {
    begin_result(name);
    put_field(value);
    put("\n");
}

void script_result2(const char *name, uint32_t a, uint32_t b) {
    begin_result(name);
    put_field(a);
    put_field(b);
    put("\n");
}

void script_note(const char *name) {
    begin_result(name);
    put("\n");
}

void script_report_state(void) {
    // Each call before its value is read: argument order is unspecified.
    bool on = false;
    const light_result_t r_switch = light_ctrl_data_switch_get(&on);
    script_result2("switch_get", r_switch, on ? 1u : 0u);
    uint16_t bright = 0;
    const light_result_t r_bright = light_ctrl_data_bright_get(&bright);
    script_result2("bright_get", r_bright, bright);
    uint16_t temper = 0;
    const light_result_t r_temper = light_ctrl_data_temperature_get(&temper);
    script_result2("temperature_get", r_temper, temper);
    light_scene_data_flash_t scene = {};
    const light_result_t r_scene = light_ctrl_scene_data_get(&scene);
    begin_result("scene_get");
    put_field(r_scene);
    put_field(scene.bytes[0]);
    put_field(scene.bytes[1]);
    put("\n");
}
