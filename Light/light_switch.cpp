// light_ctrl_process: the one path from the logical state to the outputs.
#include "light_ctrl_private.h"

namespace {
bool last_switch_status = false; // switch_status seen by the previous call
} // namespace

light_result_t light_ctrl_process(light_switch_mode_t switch_mode) {
    light_ctrl_handle_t &h = light_ctrl_handle;
    const bool cct = light_cfg_data.bright_mode == BRIGHT_MODE_CCT;
    const bool gradual = switch_mode == SWITCH_GRADUAL;

    _light_ctrl_gradually_stop();
    if (!light_ctrl_data.switch_status) {
        h.target_val.white = 0;
        h.target_val.warm = 0;
        if (gradual && cct) {
            h.target_val.warm = h.current_val.warm; // temperature channel held; cleared later
        }
    } else {
        _light_ctrl_data_calculate_cw(static_cast<uint8_t>(light_ctrl_data.bright),
                                      static_cast<uint8_t>(light_ctrl_data.temper), &h.target_val);
        if (gradual && cct && !last_switch_status) {
            h.current_val.warm = h.target_val.warm; // switching on: temperature jumps
        }
    }

    if (gradual) {
        _light_ctrl_gradually_start(_light_ctrl_gradual_period_us());
    } else {
        h.current_val.white = h.target_val.white;
        h.current_val.warm = h.target_val.warm;
        light_set_cw(h.current_val.white, h.current_val.warm);
    }
    last_switch_status = light_ctrl_data.switch_status;
    return LIGHT_OK;
}

void _light_switch_reset(void) {
    last_switch_status = false;
}
