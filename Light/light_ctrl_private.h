#ifndef LIGHT_LIGHT_CTRL_PRIVATE_H
#define LIGHT_LIGHT_CTRL_PRIVATE_H
/*
 * Operations the module's files share with each other. Not for the firmware
 * above; tests include it to check these operations one by one.
 */
#include "light_ctrl.h"
#include "timer.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A timer record of the module armed: the callback bound, the interval set
 * (ms), started. timer_start's result. */
uint8_t _light_ctrl_timer_arm(timer_event_t *timer, void (*callback)(void *param), uint32_t ms);

/* Mixing and output */
void _light_ctrl_data_calculate_cw(uint8_t bright, uint8_t temperatue, bright_data_t *result);
uint16_t _light_ctrl_data_calculate_brightness(bright_data_t curr_val);
/* In BRIGHT_MODE_CW the divisor is white + warm: callers must not pass (0, 0). */
uint16_t _light_ctrl_data_calculate_temperature(bright_data_t curr_val);
light_result_t light_set_cw(uint16_t white, uint16_t warm);

/* Fade engine */
void _light_ctrl_gradually_start(uint32_t time_us);
void _light_ctrl_gradually_stop(void);
void _light_ctrl_cct_shut_down_time_callback(void *param);
/* What an arrival does besides stopping the tick: a switched-off lamp in
 * brightness/temperature mode has its outputs cleared one second later. */
void _light_ctrl_fade_arrived(void);
/* Tick period that makes a full-scale fade last about gradual_time ms. */
uint32_t _light_ctrl_gradual_period_us(void);

/* Low-power hooks: no behaviour. */
void _light_sys_ctrl_lowpower_enter(void);
void _light_sys_ctrl_lowpower_exist(void);
bool _light_ctrl_lowpower_process(bool on_off);
void light_ctrl_lowpower_enter_timer_handler(void *param);

/* Callbacks of the control operations and persistence */
void _light_ctrl_data_adjusted_timer_callback(void *param);
void _light_ctrl_countdown_timer_callback(void *param);
void _light_ctrl_blink_timer_callback(void *param);
void ligth_ctrl_data_auto_save_timer_callback(void *param);
light_result_t light_flash_read_app_data(light_app_data_flash_t *data);
light_result_t light_flash_write_app_data(light_app_data_flash_t *data);

/* Each file's records back to their power-on values (light_ctrl_hooks.h). */
void _light_state_reset(void);
void _light_fade_reset(void);
void _light_switch_reset(void);
void _light_adjust_reset(void);
void _light_countdown_reset(void);
void _light_blink_reset(void);
void _light_persist_reset(void);

#ifdef __cplusplus
}
#endif

#endif
