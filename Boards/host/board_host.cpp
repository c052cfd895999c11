#include "board_host.h"
#include "board_listeners.h"

#include "erase_ahead.h"
#include "light_ctrl.h"
#include "light_ctrl_hooks.h"
#include "nvm_data_mgmt.h"
#include "pwm.h"
#include "tim.h"
#include "timer_service.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

using namespace board_listeners;

namespace {

constexpr uint64_t never = UINT64_MAX;

#ifndef BOARD_HOST_TIM14_FLOOR_US
#define BOARD_HOST_TIM14_FLOOR_US 1u
#endif
uint32_t tim14_floor_us = BOARD_HOST_TIM14_FLOOR_US; // board_host_set_tim14_floor_us

struct {
    bool running;
    uint32_t period_us;
    uint64_t next_us;
    uint64_t ticks;
} tim14;

uint64_t now_us = 0;

struct {
    bool pending;
    uint64_t due_us;
    board_call_fn fn;
    void *ctx;
} call;

// Brings the software timer clock to floor(now_us / 1000), running what falls due.
void sync_ms_clock() {
    const uint32_t elapsed = static_cast<uint32_t>(now_us / 1000u) - timer_service_now();
    if (elapsed != 0) {
        timer_service_advance(elapsed);
    }
}

// The software timers of the millisecond now_us falls on, then their listener.
void run_software_timers() {
    sync_ms_clock();
    if (timers_listener != nullptr) {
        timers_listener(timers_listener_ctx, now_us);
    }
}

uint64_t next_software_timer_us() {
    uint32_t in_ms = 0;
    if (timer_service_next_due_in(&in_ms) == 0) {
        return never;
    }
    return (now_us / 1000u + in_ms) * 1000u;
}

} // namespace

extern "C" {

void timer14_start(uint32_t period_us) {
    tim14.running = true;
    tim14.period_us = period_us < tim14_floor_us ? tim14_floor_us : period_us;
    tim14.next_us = now_us + tim14.period_us;
    if (tim14_listener != nullptr) {
        tim14_listener(tim14_listener_ctx, now_us, true, tim14.period_us);
    }
}

void timer14_stop(void) {
    const bool was_running = tim14.running;
    tim14.running = false;
    if (was_running && tim14_listener != nullptr) {
        tim14_listener(tim14_listener_ctx, now_us, false, tim14.period_us);
    }
}

void pwm_set_duty(uint8_t channel, uint16_t duty) {
    if (channel >= ALLOW_CHANNEL_NUM) {
        return;
    }
    last_duty[channel] = duty;
    if (pwm_listener != nullptr) {
        pwm_listener(pwm_listener_ctx, now_us, channel, duty);
    }
}

uint32_t board_host_set_tim14_floor_us(uint32_t floor_us) {
    const uint32_t before = tim14_floor_us;
    tim14_floor_us = floor_us != 0 ? floor_us : 1u;
    return before;
}

void board_reset(void) {
    tim14 = {};
    call = {};
    now_us = 0;
    std::fill(std::begin(last_duty), std::end(last_duty), uint16_t{0});
    timer_service_reset();
}

void board_power_on(void) {
    light_ctrl_power_on_reset();
    board_reset();
    nvm_init();
    board_erase_ahead_if_quiet(false);
}

uint64_t board_now_us(void) {
    return now_us;
}

void board_run_until(uint64_t t_us) {
    for (;;) {
        // Between events, as the chip's idle loop.
        board_erase_ahead_if_quiet(tim14.running);
        const uint64_t tick = tim14.running ? tim14.next_us : never;
        const uint64_t soft = next_software_timer_us();
        const uint64_t due_call = call.pending ? call.due_us : never;
        if (soft <= tick && soft <= due_call) {
            if (soft > t_us) {
                break;
            }
            now_us = soft;
            run_software_timers();
        } else if (tick <= due_call) {
            if (tick > t_us) {
                break;
            }
            now_us = tick;
            sync_ms_clock(); // nothing falls due: the next expiry is after this tick
            tim14.next_us += tim14.period_us;
            ++tim14.ticks;
            light_ctrl_gradually_timer_handler();
        } else {
            if (due_call > t_us) {
                break;
            }
            now_us = due_call;
            sync_ms_clock(); // nothing falls due: the next expiry is after this call
            call.pending = false;
            call.fn(call.ctx);
        }
    }
    if (t_us > now_us) {
        now_us = t_us;
        sync_ms_clock();
    }
}

void board_run_for(uint64_t duration_us) {
    board_run_until(now_us + duration_us);
}

uint8_t board_next_event_us(uint64_t *t_us) {
    const uint64_t tick = tim14.running ? tim14.next_us : never;
    const uint64_t soft = next_software_timer_us();
    const uint64_t due_call = call.pending ? call.due_us : never;
    uint64_t next = tick < soft ? tick : soft;
    next = due_call < next ? due_call : next;
    if (next == never) {
        return 0;
    }
    if (t_us != nullptr) {
        *t_us = next;
    }
    return 1;
}

uint8_t board_next_timer_expiry_us(uint64_t *t_us) {
    const uint64_t soft = next_software_timer_us();
    if (soft == never) {
        return 0;
    }
    if (t_us != nullptr) {
        *t_us = soft;
    }
    return 1;
}

void board_call_at(uint64_t t_us, board_call_fn fn, void *ctx) {
    call = {fn != nullptr, t_us > now_us ? t_us : now_us, fn, ctx};
}

bool board_timer14_running(void) {
    return tim14.running;
}
uint32_t board_timer14_period_us(void) {
    return tim14.period_us;
}
uint64_t board_timer14_tick_count(void) {
    return tim14.ticks;
}

} // extern "C"
