#ifndef LIGHT_LIGHT_CTRL_H
#define LIGHT_LIGHT_CTRL_H
/*
 * light_ctrl: light control of a two-channel (cold white / warm white) lamp.
 * Turns switch, brightness and colour temperature into two PWM channel values
 * on a 0..CTRL_CAL_VALUE_RANGE scale, fades between them, and keeps the state
 * across power cycles.
 *
 * Platform calls: Boards/pwm.h, Boards/tim.h, System/timer.h,
 * System/nvm_data_mgmt.h, System/utilities.h. What the board does for it:
 *  - at power-on, brings up its clocks, the timer service and the store
 *    (nvm_init), then calls light_ctrl_init once;
 *  - calls timer_service_advance every millisecond (System/timer_service.h);
 *  - calls light_ctrl_gradually_timer_handler once per period of timer 14
 *    while it runs (Boards/tim.h).
 * The module takes no lock: every call into it runs to completion before the
 * next starts. The tick and the software-timer callbacks share one interrupt
 * priority; the firmware above calls the operations below from a
 * software-timer callback, or with those interrupts masked.
 */
#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CTRL_CAL_VALUE_RANGE     18000
#define CTRL_CW_BRIGHT_VALUE_MAX CTRL_CAL_VALUE_RANGE
#define CTRL_CW_BRIGHT_VALUE_MIN (CTRL_CW_BRIGHT_VALUE_MAX * 0.01) /* 180.0, a double */
#define CTRL_BRIGHT_LIMIT_MAX    100
#define CTRL_BRIGHT_LIMIT_MIN    1
#define CTRL_TEMPER_LIMIT_MAX    100
#define CTRL_TEMPER_LIMIT_MIN    0
#define BRIGHT_LEVEL_MAX         10
#define BRIGHT_LEVEL_MIN         0
#define ADJUST_TIME              300

/* Every enumeration is held in one byte. */
typedef uint8_t light_result_t;
enum light_result_e { LIGHT_OK = 0, LIGHT_ERROR = 1, LIGHT_FAIL = 2, LIGHT_INVALID_PARM = 3 };

typedef uint8_t ctrl_light_way_t;
enum ctrl_light_way_e { LIGHT_C = 0, LIGHT_CW = 1, LIGHT_MAX = 2 };

typedef uint8_t bright_mode_t;
enum bright_mode_e { BRIGHT_MODE_CW = 0, BRIGHT_MODE_CCT = 1, BRIGHT_MODE_MAX = 2 };

typedef uint8_t light_switch_mode_t;
enum light_switch_mode_e { SWITCH_GRADUAL = 0, SWITCH_DIRECT = 1 };

typedef uint8_t light_adjusted_mode_t;
enum light_adjusted_mode_e {
    ADJUST_NONE = 0,
    BRIGHT_INC = 1,
    BRIGHT_DEC = 2,
    TEMPER_INC = 3,
    TEMPER_DEC = 4
};
#define ADJUST_HOLD_FLAG 0x80u /* bit 7 of adjusted_mode: hold mode */
#define ADJUST_MODE_MASK 0x7Fu /* bits 0-6 of adjusted_mode: the kind */

typedef uint8_t blink_end_state_t;
enum blink_end_state_e { WITH_START = 0, WITH_ON = 1, WITH_OFF = 2 };

typedef struct {
    uint16_t white; /* channel 0 */
    uint16_t warm;  /* channel 1 */
} bright_data_t;

typedef struct {
    ctrl_light_way_t light_way;
    bright_mode_t bright_mode;
    uint32_t gradual_time; /* ms for a fade across the full channel scale */
} light_ctrl_cfg_t;

typedef struct {
    bool switch_status;
    uint16_t bright;       /* percent */
    uint16_t temper;       /* percent; 100 is the cold end */
    uint32_t countdown;    /* seconds left, 0 = none */
    uint8_t adjusted_mode; /* bits 0-6 light_adjusted_mode_t, bit 7 hold */
    uint8_t blink_cnt;     /* toggles left */
} light_ctrl_data_t;

typedef struct {
    bright_data_t target_val;
    bright_data_t current_val;
    bool first_change;
} light_ctrl_handle_t;

/*
 * Scene snapshot, exactly two bytes on every compiler:
 *   byte 0: bit 0 power, bits 1-7 brightness (7 bits)
 *   byte 1: bits 0-6 temperature (7 bits), bit 7 reserved (kept as supplied)
 */
typedef struct {
    uint8_t bytes[2];
} light_scene_data_flash_t;
#define LIGHT_SCENE_POWER_BIT    0x01u /* of byte 0 */
#define LIGHT_SCENE_FIELD_MASK   0x7Fu /* a 7-bit field: brightness, temperature */
#define LIGHT_SCENE_RESERVED_BIT 0x80u /* of byte 1 */
#define LIGHT_SCENE_POWER(s)     ((uint8_t)((s)->bytes[0] & LIGHT_SCENE_POWER_BIT))
#define LIGHT_SCENE_BRIGHT(s)    ((uint8_t)((s)->bytes[0] >> 1))
#define LIGHT_SCENE_TEMPER(s)    ((uint8_t)((s)->bytes[1] & LIGHT_SCENE_FIELD_MASK))
#define LIGHT_SCENE_RESERVED(s)  ((uint8_t)((s)->bytes[1] >> 7))

/* Saved light record: 7 bytes, packed, little-endian, under NVM_KV_LIGHT_DATA. */
#define LIGHT_APP_DATA_MAGIC 0xAAu
typedef struct {
    uint8_t cs;    /* check_sum of bytes 1..6 */
    uint8_t magic; /* LIGHT_APP_DATA_MAGIC */
    uint8_t power; /* switch_status when saved */
    uint8_t bright[2];
    uint8_t temper[2];
} light_app_data_flash_t;

/* NOLINTBEGIN(bugprone-dynamic-static-initializers): declarations; the
 * definitions (light_state.cpp) have constant initialisers. */
extern light_ctrl_cfg_t light_cfg_data;
extern light_ctrl_data_t light_ctrl_data;
extern light_ctrl_handle_t light_ctrl_handle;
/* NOLINTEND(bugprone-dynamic-static-initializers) */

/* Start-up: restore the saved state (or defaults), switch on, fade in. Once,
 * after the platform services are ready. */
void light_ctrl_init(void);
/* Make the outputs follow light_ctrl_data; SWITCH_GRADUAL fades, anything
 * else applies at once. Always LIGHT_OK. */
light_result_t light_ctrl_process(light_switch_mode_t switch_mode);
/* One fade tick; called by the board on every period of timer 14. */
void light_ctrl_gradually_timer_handler(void);

light_result_t light_ctrl_data_switch_set(bool on_off);
light_result_t light_ctrl_data_switch_get(bool *on_off);
light_result_t light_ctrl_data_bright_set(uint16_t bright);
light_result_t light_ctrl_data_bright_get(uint16_t *bright);
light_result_t light_ctrl_data_temperature_set(uint16_t temperature);
light_result_t light_ctrl_data_temperature_get(uint16_t *temperature);
light_result_t light_ctrl_scene_data_get(light_scene_data_flash_t *scene_data);

light_result_t light_ctrl_data_adjusted(light_adjusted_mode_t mode);
light_result_t light_ctrl_data_countdown_set(int32_t countdown_sec);
light_result_t light_ctrl_blink_start(blink_end_state_t end, uint8_t cnt, uint16_t blink_time_ms);

light_result_t light_ctrl_data_auto_save(void);
light_result_t light_ctrl_data_auto_save_start(uint32_t delay_time_ms);

#ifdef __cplusplus
}
#endif

#endif
