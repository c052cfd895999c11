/* The consumer's firmware: powers the lamp on through the port, then calls
 * every operation the module exports, so the image needs every function a port
 * must supply. */
#include "board_port.h"
#include "light_ctrl.h"

#include <stdbool.h>
#include <stdint.h>

static volatile uint32_t sink;

int main(void) {
    board_port_power_on();

    bool on = false;
    uint16_t bright = 0;
    uint16_t temper = 0;
    light_scene_data_flash_t scene = {{0, 0}};
    uint32_t r = 0;
    r += light_ctrl_data_switch_set(true);
    r += light_ctrl_data_switch_get(&on);
    r += light_ctrl_data_bright_set(70);
    r += light_ctrl_data_bright_get(&bright);
    r += light_ctrl_data_temperature_set(30);
    r += light_ctrl_data_temperature_get(&temper);
    r += light_ctrl_scene_data_get(&scene);
    r += light_ctrl_process(SWITCH_GRADUAL);
    r += light_ctrl_data_adjusted(BRIGHT_INC);
    r += light_ctrl_data_countdown_set(60);
    r += light_ctrl_blink_start(WITH_START, 2, 500);
    r += light_ctrl_data_auto_save();
    r += light_ctrl_data_auto_save_start(3000);
    board_port_millisecond_isr();
    board_port_timer14_isr();
    sink = r + bright + temper + scene.bytes[0] + (on ? 1u : 0u) + light_ctrl_data.bright +
           light_ctrl_handle.current_val.white + light_cfg_data.gradual_time;
    for (;;) {
    }
}
