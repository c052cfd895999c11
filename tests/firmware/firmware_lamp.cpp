// The lamp scenario on the Cortex-M0: its trace goes out through semihosting,
// and its reset is a real chip reset, with the flash keeping the saved record.
#include "board_microbit.h"
#include "scenario_lamp.h"
#include "script.h"
#include "semihost.h"

namespace {
// Survives the chip reset (startup neither copies nor clears .noinit).
constexpr uint32_t second_boot_mark = 0x4C414D50u;
__attribute__((section(".noinit"))) uint32_t boot_mark;
} // namespace

void script_platform_write(const char *text, uint32_t len) {
    semihost_write(text, len);
}

void script_platform_reset(void) {
    boot_mark = second_boot_mark;
    semihost_flush();
    board_system_reset();
}

void script_platform_done(uint8_t status) {
    semihost_exit(status);
}

int main() {
    const uint8_t boot = boot_mark == second_boot_mark ? 2 : 1;
    boot_mark = 0;
    board_power_on();
    board_pwm_set_listener(script_pwm_listener, nullptr);
    scenario_lamp_start(boot);
    board_start_clocks();
    board_idle_forever();
}
