/* Every public header compiles as C11, as C firmware and interrupt vectors use them. */
#include "light_ctrl.h"
#include "timer.h"
#include "timer_service.h"
#include "nvm_data_mgmt.h"
#include "utilities.h"
#include "pwm.h"
#include "tim.h"
#include "flash.h"
#include "board_observe.h"
#include "board_player.h"
#include "serial.h"
#include "board_host.h"
#include "flash_host.h"

/* Called from the C++ tests, so the C declarations really link. */
int c_headers_result_size(void) {
    return (int)sizeof(light_result_t);
}
int c_headers_scene_size(void) {
    return (int)sizeof(light_scene_data_flash_t);
}
int c_headers_record_size(void) {
    return (int)sizeof(light_app_data_flash_t);
}
