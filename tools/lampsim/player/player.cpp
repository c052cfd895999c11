#include "player.h"

#include "expect.h"

#include "board_observe.h"
#include "light_ctrl.h"
#include "nvm_data_mgmt.h"
#include "timer_service.h"
#include "utilities.h"

namespace lampsim {
namespace {

player *active = nullptr; // the player following the board, for the store's hook

lamp_state module_state() {
    const light_ctrl_data_t &d = light_ctrl_data;
    return {d.switch_status ? uint8_t{1} : uint8_t{0},
            d.bright,
            d.temper,
            d.countdown,
            d.adjusted_mode,
            d.blink_cnt,
            light_cfg_data.bright_mode};
}

} // namespace

player::player(player_platform &platform, events &out, player_memory &memory)
    : platform_(platform), out_(out), mem_(memory) {}

uint64_t player::now() const {
    return mem_.offset_us + board_now_us();
}

void player::call_at(uint64_t board_us) {
    call_us_ = board_us;
    call_pending_ = true;
    board_call_at(board_us, on_call, this);
}

bool player::pending_call(uint64_t &board_us) const {
    board_us = call_us_;
    return call_pending_ && !finished_;
}

void player::detach() {
    board_pwm_set_listener(nullptr, nullptr);
    board_timer14_set_listener(nullptr, nullptr);
    board_timers_set_listener(nullptr, nullptr);
    board_call_at(0, nullptr, nullptr);
    if (active == this) {
        active = nullptr;
    }
}

void player::boot(bool first) {
    active = this;
    board_pwm_set_listener(on_pwm, this);
    board_timer14_set_listener(on_timer14, this);
    board_timers_set_listener(on_timers, this);
    call_pending_ = watching_ = cut_ = finished_ = waiting_ = false;
    if (first) {
        mem_ = {};
        mem_.config[0] = mem_.config[1] = mem_.config[2] = -1;
        platform_.refuse_writes(false);
        powered_ = true;
        power_on(0);
        schedule_next();
        return;
    }
    powered_ = false;
    platform_.refuse_writes(mem_.refuse_writes != 0);
    play_unpowered();
}

// Without power until the next init: the lines before it change only what
// that power-on brings.
void player::play_unpowered() {
    for (;;) {
        if (!platform_.read_step(mem_.next, current_)) {
            if (open_ended_) {
                waiting_ = true;
                return;
            }
            finish(mem_.last_event_us > mem_.last_step_us ? mem_.last_event_us : mem_.last_step_us);
            return;
        }
        if (command_table[current_.index].kind == step_kind::init) {
            mem_.offset_us = current_.at_us;
            call_at(0);
            return;
        }
        run_step();
        if (finished_) {
            return;
        }
        ++mem_.next;
    }
}

void player::power_on(uint64_t t_us) {
    apply_config();
    last_result_ = no_result;
    shown_ = module_state();
    out_.power(t_us, true, 0, shown_);
}

void player::apply_config() const {
    if (mem_.config[0] >= 0) {
        light_cfg_data.bright_mode = static_cast<bright_mode_t>(mem_.config[0]);
    }
    if (mem_.config[1] >= 0) {
        light_cfg_data.light_way = static_cast<ctrl_light_way_t>(mem_.config[1]);
    }
    if (mem_.config[2] >= 0) {
        light_cfg_data.gradual_time = static_cast<uint32_t>(mem_.config[2]);
    }
}

void player::schedule_next() {
    if (!platform_.read_step(mem_.next, current_)) {
        after_last();
        return;
    }
    call_at(current_.at_us - mem_.offset_us);
}

void player::on_call(void *ctx) {
    static_cast<player *>(ctx)->serve();
}

// Every step of this microsecond, in order.
void player::serve() {
    call_pending_ = false;
    if (watching_) {
        check_settled();
        return;
    }
    for (;;) {
        const uint64_t t = current_.at_us;
        run_step();
        if (finished_ || cut_) {
            return;
        }
        ++mem_.next;
        if (!platform_.read_step(mem_.next, current_)) {
            after_last();
            return;
        }
        if (current_.at_us != t) {
            call_at(current_.at_us - mem_.offset_us);
            return;
        }
    }
}

void player::run_step() {
    const command_spec &c = command_table[current_.index];
    const uint64_t t = current_.at_us;
    const int64_t *args = current_.args;
    mem_.last_step_us = t;
    out_.begin(t, mem_.next);
    int16_t result = no_result;
    readings read{};
    switch (c.kind) {
    case step_kind::init:
        if (!powered_) {
            powered_ = true;
            power_on(t);
        }
        result = c.run(args, read);
        break;
    case step_kind::call:
    case step_kind::report:
        result = c.run(args, read);
        if (c.has_result) {
            last_result_ = result;
        }
        break;
    case step_kind::expect:
        snapshot(read);
        result = expectation_holds(current_, read.value, read.count) ? 1 : 0;
        break;
    case step_kind::power_cut:
        out_.power(t, false, board_timer14_tick_count(), shown_);
        powered_ = false;
        out_.result(t, mem_.next, no_result, read.value, 0);
        ++mem_.next;
        cut_ = true;
        platform_.power_cut();
        return;
    case step_kind::config:
        for (unsigned i = 0; i < 3; ++i) {
            if (args[i] >= 0) {
                mem_.config[i] = args[i];
            }
        }
        if (powered_) {
            apply_config();
        }
        break;
    case step_kind::nvm_fail:
        mem_.refuse_writes = args[0] != 0 ? 1 : 0;
        platform_.refuse_writes(args[0] != 0);
        break;
    case step_kind::run:
    case step_kind::end:
        break;
    }
    if (powered_) {
        report_state(t);
    }
    out_.result(t, mem_.next, result, read.value, read.count);
    if (c.kind == step_kind::end) {
        finish(t);
    }
}

void player::report_state(uint64_t t_us) {
    const lamp_state s = module_state();
    if (s != shown_) {
        shown_ = s;
        out_.state(t_us, s);
    }
}

void player::snapshot(readings &out) const {
    uint8_t record[saved_record_size] = {};
    nvm_read(NVM_KV_LIGHT_DATA, 0, record, saved_record_size);
    // Valid as start-up would take it: its magic, and the checksum of bytes 1..6.
    const bool valid = record[1] == LIGHT_APP_DATA_MAGIC &&
                       check_sum(&record[1], saved_record_size - 1) == record[0];
    const light_ctrl_data_t &d = light_ctrl_data;
    out = {{board_pwm_duty(0), board_pwm_duty(1), d.switch_status ? 1 : 0, d.bright, d.temper,
            d.countdown, d.blink_cnt, last_result_, board_timer14_running() ? 1 : 0, valid ? 1 : 0,
            record[2], record[3] | record[4] << 8, record[5] | record[6] << 8},
           snapshot_size};
}

// The last step has run: the run goes on until nothing is pending, checked
// whenever that may have become true (after software timers and the fade's
// end), or until the limit.
void player::after_last() {
    if (open_ended_) {
        waiting_ = true;
        return;
    }
    if (!powered_) {
        finish(mem_.last_event_us > mem_.last_step_us ? mem_.last_event_us : mem_.last_step_us);
        return;
    }
    watching_ = true;
    limit_us_ = mem_.last_step_us + settle_limit_us;
    call_at(board_now_us());
}

void player::steps_added() {
    if (!waiting_) {
        return;
    }
    waiting_ = false;
    if (powered_) {
        schedule_next();
    } else {
        play_unpowered();
    }
}

void player::check_settled() {
    uint32_t due = 0;
    if (now() >= limit_us_ || (!board_timer14_running() && timer_service_next_due_in(&due) == 0)) {
        finish(mem_.last_event_us > mem_.last_step_us ? mem_.last_event_us : mem_.last_step_us);
        return;
    }
    call_at(limit_us_ - mem_.offset_us);
}

void player::finish(uint64_t t_us) {
    finished_ = true;
    out_.end(t_us, powered_ ? board_timer14_tick_count() : 0);
    board_call_at(0, nullptr, nullptr);
    call_pending_ = false;
    platform_.finished();
}

void player::on_pwm(void *ctx, uint64_t t_us, uint8_t channel, uint16_t duty) {
    player &p = *static_cast<player *>(ctx);
    const uint64_t t = p.mem_.offset_us + t_us;
    p.mem_.last_event_us = t;
    p.out_.pwm(t, channel, duty);
}

void player::on_timer14(void *ctx, uint64_t t_us, bool running, uint32_t period_us) {
    player &p = *static_cast<player *>(ctx);
    const uint64_t t = p.mem_.offset_us + t_us;
    p.mem_.last_event_us = t;
    p.out_.fade(t, running, period_us, board_timer14_tick_count());
    if (!running && p.watching_) {
        p.call_at(t_us);
    }
}

void player::on_timers(void *ctx, uint64_t t_us) {
    player &p = *static_cast<player *>(ctx);
    const uint64_t t = p.mem_.offset_us + t_us;
    p.mem_.last_event_us = t;
    p.report_state(t);
    if (p.watching_) {
        p.call_at(t_us);
    }
}

void player::saved(uint16_t written, const void *record) {
    out_.save(now(), written, static_cast<const uint8_t *>(record));
}

} // namespace lampsim

// The module's saves, seen on their way to the store: the executable is
// linked with -Wl,--wrap=nvm_write, so the module's calls come here.
// NOLINTBEGIN(bugprone-reserved-identifier): the names the linker's --wrap gives
extern "C" uint16_t __real_nvm_write(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len);
extern "C" uint16_t __wrap_nvm_write(nvm_kv_t key, uint16_t offset, const void *buf, uint16_t len) {
    const uint16_t written = __real_nvm_write(key, offset, buf, len);
    if (lampsim::active != nullptr && key == NVM_KV_LIGHT_DATA && offset == 0 &&
        len == lampsim::saved_record_size) {
        lampsim::active->saved(written, buf);
    }
    return written;
}
// NOLINTEND(bugprone-reserved-identifier)
