// The saved light record: written on request or after a delay, read and
// validated at start-up. The lamp always starts switched on and fades in.
#include "light_ctrl_private.h"

#include "nvm_data_mgmt.h"
#include "timer.h"
#include "utilities.h"

#include <stddef.h>

static_assert(sizeof(light_app_data_flash_t) == 7, "saved record is 7 bytes");
static_assert(offsetof(light_app_data_flash_t, cs) == 0, "cs at 0");
static_assert(offsetof(light_app_data_flash_t, magic) == 1, "magic at 1");
static_assert(offsetof(light_app_data_flash_t, power) == 2, "power at 2");
static_assert(offsetof(light_app_data_flash_t, bright) == 3, "bright at 3");
static_assert(offsetof(light_app_data_flash_t, temper) == 5, "temper at 5");
static_assert(sizeof(light_scene_data_flash_t) == 2, "scene snapshot is 2 bytes");

namespace {

constexpr uint16_t record_size = sizeof(light_app_data_flash_t);
constexpr uint16_t checked_size = record_size - 1; // bytes 1..6
constexpr uint16_t default_bright = 100;
constexpr uint16_t default_temper = 0;
timer_event_t autosave_timer = {};

void put_le16(uint8_t *dst, uint16_t value) {
    dst[0] = static_cast<uint8_t>(value & 0xFFu);
    dst[1] = static_cast<uint8_t>(value >> 8);
}

uint16_t get_le16(const uint8_t *src) {
    return static_cast<uint16_t>(src[0] | (src[1] << 8));
}

} // namespace

light_result_t light_flash_read_app_data(light_app_data_flash_t *data) {
    nvm_read(NVM_KV_LIGHT_DATA, 0, data, record_size);
    if (data->magic != LIGHT_APP_DATA_MAGIC) {
        return LIGHT_ERROR;
    }
    if (check_sum(&data->magic, checked_size) != data->cs) {
        return LIGHT_ERROR;
    }
    return LIGHT_OK;
}

light_result_t light_flash_write_app_data(light_app_data_flash_t *data) {
    data->magic = LIGHT_APP_DATA_MAGIC;
    data->cs = check_sum(&data->magic, checked_size);
    return nvm_write(NVM_KV_LIGHT_DATA, 0, data, record_size) == record_size ? LIGHT_OK
                                                                             : LIGHT_ERROR;
}

light_result_t light_ctrl_data_auto_save(void) {
    light_app_data_flash_t record = {};
    record.power = light_ctrl_data.switch_status ? 1u : 0u;
    put_le16(record.bright, light_ctrl_data.bright);
    put_le16(record.temper, light_ctrl_data.temper);
    return light_flash_write_app_data(&record);
}

light_result_t light_ctrl_data_auto_save_start(uint32_t delay_time_ms) {
    _light_ctrl_timer_arm(&autosave_timer, ligth_ctrl_data_auto_save_timer_callback, delay_time_ms);
    return LIGHT_OK;
}

void ligth_ctrl_data_auto_save_timer_callback(void *param) {
    (void)param;
    (void)light_ctrl_data_auto_save(); // a failed save is not retried
}

void light_ctrl_init(void) {
    light_ctrl_handle_t &h = light_ctrl_handle;
    h.target_val.white = 0;
    h.target_val.warm = 0;
    h.current_val.white = 0;
    h.current_val.warm = 0;
    h.first_change = false;
    // The magic cleared first, so a read the store refuses fails its test.
    light_app_data_flash_t record;
    record.magic = 0;
    light_ctrl_data.switch_status = true;
    if (light_flash_read_app_data(&record) == LIGHT_OK) {
        light_ctrl_data.bright = get_le16(record.bright);
        light_ctrl_data.temper = get_le16(record.temper);
    } else {
        light_ctrl_data.bright = default_bright;
        light_ctrl_data.temper = default_temper;
    }
    light_ctrl_process(SWITCH_GRADUAL);
}

void _light_persist_reset(void) {
    autosave_timer = {};
}
