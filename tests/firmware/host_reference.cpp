// The lamp scenario on the simulated host board: prints the trace that the
// Cortex-M0 firmware must reproduce exactly.
#include "scenario_lamp.h"
#include "script.h"

#include "board_host.h"
#include "flash_host.h"

#include <cstdio>

namespace {
bool stop_requested = false;
int exit_status = 0;
} // namespace

void script_platform_write(const char *text, uint32_t len) {
    std::fwrite(text, 1, len, stdout);
}

void script_platform_reset(void) {
    stop_requested = true;
}

void script_platform_done(uint8_t status) {
    exit_status = status;
    stop_requested = true;
}

static void run_boot(uint8_t boot) {
    board_power_on();
    board_pwm_set_listener(script_pwm_listener, nullptr);
    stop_requested = false;
    scenario_lamp_start(boot);
    uint64_t next = 0;
    // Event by event, so nothing after the reset or the end runs.
    while (!stop_requested && board_next_event_us(&next) != 0) {
        board_run_until(next);
    }
}

int main() {
    flash_host_erase_all();
    run_boot(1);
    run_boot(2);
    std::fflush(stdout);
    return stop_requested ? exit_status : 2;
}
