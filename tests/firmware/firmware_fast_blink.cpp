// A 120 ms blink: its fades ask for a 1 us tick, which no Cortex-M0 can serve.
// The trace shows the period the board used, that the software timers kept
// their milliseconds and that thread mode kept running.
#include "board_microbit.h"
#include "light_ctrl.h"
#include "script.h"
#include "semihost.h"

namespace {

uint32_t idle_at_start = 0;

void blink() {
    idle_at_start = board_idle_passes();
    script_result("blink_start", light_ctrl_blink_start(WITH_START, 2, 120));
}

void report_tick() {
    script_result2("timer14", board_timer14_running() ? 1u : 0u, board_timer14_period_us());
}

void report_progress() {
    script_result("idle_passes_during_blink", board_idle_passes() - idle_at_start);
    script_result("ticks", static_cast<uint32_t>(board_timer14_tick_count()));
}

void done() {
    script_platform_done(0);
}

const script_step_t steps[] = {
    {5100, blink},       {5221, report_tick},     {5341, report_tick}, {5461, report_tick},
    {5581, report_tick}, {5700, report_progress}, {5800, done},
};

} // namespace

void script_platform_write(const char *text, uint32_t len) {
    semihost_write(text, len);
}
void script_platform_reset(void) {
    board_system_reset();
}
void script_platform_done(uint8_t status) {
    semihost_exit(status);
}

int main() {
    board_power_on();
    board_pwm_set_listener(script_pwm_listener, nullptr);
    light_ctrl_init();
    script_run(steps, sizeof steps / sizeof steps[0]);
    board_start_clocks();
    board_idle_forever();
}
