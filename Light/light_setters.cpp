// Setters, getters and the scene snapshot. Setters change only light_ctrl_data;
// light_ctrl_process makes a change visible.
#include "light_ctrl_private.h"

light_result_t light_ctrl_data_switch_set(bool on_off) {
    light_ctrl_data.switch_status = on_off;
    return LIGHT_OK;
}

light_result_t light_ctrl_data_switch_get(bool *on_off) {
    if (on_off == nullptr) {
        return LIGHT_INVALID_PARM;
    }
    *on_off = light_ctrl_data.switch_status;
    return LIGHT_OK;
}

light_result_t light_ctrl_data_bright_set(uint16_t bright) {
    if (!light_ctrl_data.switch_status) {
        return LIGHT_FAIL;
    }
    if (bright < CTRL_BRIGHT_LIMIT_MIN) {
        bright = CTRL_BRIGHT_LIMIT_MIN;
    } else if (bright > CTRL_BRIGHT_LIMIT_MAX) {
        bright = CTRL_BRIGHT_LIMIT_MAX;
    }
    light_ctrl_data.bright = bright;
    return LIGHT_OK;
}

light_result_t light_ctrl_data_bright_get(uint16_t *bright) {
    if (bright == nullptr) {
        return LIGHT_INVALID_PARM;
    }
    *bright = light_ctrl_data.bright;
    return LIGHT_OK;
}

light_result_t light_ctrl_data_temperature_set(uint16_t temperature) {
    if (!light_ctrl_data.switch_status) {
        return LIGHT_FAIL;
    }
    if (light_cfg_data.light_way == LIGHT_C || temperature > CTRL_TEMPER_LIMIT_MAX) {
        temperature = CTRL_TEMPER_LIMIT_MAX; // a single-channel lamp is all cold white
    }
    light_ctrl_data.temper = temperature;
    return LIGHT_OK;
}

light_result_t light_ctrl_data_temperature_get(uint16_t *temperature) {
    if (temperature == nullptr || light_cfg_data.light_way != LIGHT_CW) {
        return LIGHT_INVALID_PARM;
    }
    *temperature = light_ctrl_data.temper;
    return LIGHT_OK;
}

light_result_t light_ctrl_scene_data_get(light_scene_data_flash_t *scene_data) {
    if (scene_data == nullptr) {
        return LIGHT_INVALID_PARM;
    }
    uint8_t *b = scene_data->bytes;
    const uint32_t power = light_ctrl_data.switch_status ? LIGHT_SCENE_POWER_BIT : 0u;
    b[0] = static_cast<uint8_t>(power | (light_ctrl_data.bright & LIGHT_SCENE_FIELD_MASK) << 1);
    b[1] = static_cast<uint8_t>((b[1] & LIGHT_SCENE_RESERVED_BIT) |
                                (light_ctrl_data.temper & LIGHT_SCENE_FIELD_MASK));
    return LIGHT_OK;
}
