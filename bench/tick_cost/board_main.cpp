// The lamp firmware on the board as a product would start it: the board, the
// store, the module, the clocks, then idle. tick_cost.py does not run it: it
// calls bench_setup and delivers timer 14's interrupts itself, so that the
// tick is measured through the board's own dispatcher and PWM driver.
#include "board_microbit.h"
#include "light_ctrl.h"

int main() {
    board_power_on();
    light_ctrl_init();
    board_start_clocks();
    board_idle_forever();
}
