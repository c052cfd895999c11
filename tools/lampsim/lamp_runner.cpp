#include "lamp_runner.h"

#include "board_host.h"
#include "flash_host.h"
#include "light_ctrl_hooks.h"
#include "light_ctrl.h"
#include "nvm_data_mgmt.h"

#include <cstdio>

namespace lampsim {
namespace {

// Enough for a day-long countdown and its save after the last line.
constexpr uint64_t idle_limit_us = 2ull * 86400u * 1000000u;

void pwm_hook(void *ctx, uint64_t t_us, uint8_t channel, uint16_t duty) {
    static_cast<lamp_runner *>(ctx)->on_pwm(t_us, channel, duty);
}

void timer14_hook(void *ctx, uint64_t t_us, bool running, uint32_t period_us) {
    static_cast<lamp_runner *>(ctx)->on_timer14(t_us, running, period_us);
}

std::string hex_bytes(const uint8_t *bytes, size_t n) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i == 0 ? "%02X" : " %02X", bytes[i]);
        s += b;
    }
    return s;
}

std::string on_off(bool on) {
    return on ? "on" : "off";
}

} // namespace

lamp_runner::lamp_runner(timeline &log, std::vector<trace_sink *> sinks)
    : log_(log), sinks_(std::move(sinks)) {}

uint64_t lamp_runner::now() const {
    return offset_us_ + board_now_us();
}

void lamp_runner::on_pwm(uint64_t t_board_us, uint8_t channel, uint16_t duty) {
    const uint64_t t = offset_us_ + t_board_us;
    last_event_us_ = t;
    if (channel > 1) {
        return;
    }
    if (pending_ && !(channel == 1 && pending_at_ == t)) {
        flush_pending_output();
    }
    duty_[channel] = duty;
    if (channel == 0) {
        pending_ = true;
        pending_at_ = t;
        return;
    }
    pending_ = true;
    pending_at_ = t;
    flush_pending_output();
}

void lamp_runner::flush_pending_output() {
    if (!pending_) {
        return;
    }
    pending_ = false;
    ++totals_.writes;
    for (trace_sink *s : sinks_) {
        s->output(pending_at_, duty_[0], duty_[1]);
    }
}

void lamp_runner::on_timer14(uint64_t t_board_us, bool running, uint32_t period_us) {
    const uint64_t t = offset_us_ + t_board_us;
    last_event_us_ = t;
    if (running) {
        fade_started_us_ = t;
        fade_start_ticks_ = board_timer14_tick_count();
        log_.line(t, "fade start: tick " + std::to_string(period_us) + " us");
        return;
    }
    flush_pending_output();
    const uint64_t ticks = board_timer14_tick_count() - fade_start_ticks_;
    char text[128];
    std::snprintf(text, sizeof text, "fade stop: %llu ticks in %.3f ms, outputs (%u, %u)",
                  static_cast<unsigned long long>(ticks),
                  static_cast<double>(t - fade_started_us_) / 1000.0, board_pwm_duty(0),
                  board_pwm_duty(1));
    log_.line(t, text);
}

namespace {

// The settings `cfg` carries go to the module; the others stay as they are.
void apply_config(const lamp_config &cfg) {
    if (cfg.set_mode) {
        light_cfg_data.bright_mode = cfg.bright_mode;
    }
    if (cfg.set_way) {
        light_cfg_data.light_way = cfg.light_way;
    }
    if (cfg.set_gradual) {
        light_cfg_data.gradual_time = cfg.gradual_ms;
    }
}

// `cfg`'s settings replace the kept ones, for this and every later power-on.
void keep_config(lamp_config &kept, const lamp_config &cfg) {
    if (cfg.set_mode) {
        kept.set_mode = true;
        kept.bright_mode = cfg.bright_mode;
    }
    if (cfg.set_way) {
        kept.set_way = true;
        kept.light_way = cfg.light_way;
    }
    if (cfg.set_gradual) {
        kept.set_gradual = true;
        kept.gradual_ms = cfg.gradual_ms;
    }
}

} // namespace

void lamp_runner::power_on(uint64_t t_us) {
    board_power_on();
    offset_us_ = t_us;
    apply_config(config_);
    powered_ = true;
    flash_ops_ = flash_host_operations();
    nvm_read(NVM_KV_LIGHT_DATA, 0, record_.data(), static_cast<uint16_t>(record_.size()));
    shown_state_ = {light_ctrl_data.switch_status, light_ctrl_data.bright,
                    light_ctrl_data.temper,        light_ctrl_data.countdown,
                    light_ctrl_data.adjusted_mode, light_ctrl_data.blink_cnt};
    for (trace_sink *s : sinks_) {
        s->power(t_us, true);
        s->switch_state(t_us, light_ctrl_data.switch_status);
    }
}

void lamp_runner::power_cut(uint64_t t_us) {
    flush_pending_output();
    if (board_timer14_running()) {
        log_.line(t_us, "fade cut off by the power cut");
    }
    totals_.ticks += board_timer14_tick_count();
    // RAM and the board go; the flash keeps what it holds.
    light_ctrl_power_on_reset();
    board_reset();
    powered_ = false;
    duty_ = {0, 0};
    for (trace_sink *s : sinks_) {
        s->power(t_us, false);
    }
}

void lamp_runner::advance_to(uint64_t t_us) {
    if (!powered_ || t_us < offset_us_) {
        return;
    }
    // Software-timer callbacks are what changes the lamp's state between
    // commands, so stop after each; ticks in between run in one go.
    for (;;) {
        uint64_t next = 0;
        if (board_next_timer_expiry_us(&next) == 0 || offset_us_ + next > t_us) {
            break;
        }
        board_run_until(next);
        last_event_us_ = offset_us_ + next;
        after_events();
    }
    board_run_until(t_us - offset_us_);
    after_events();
}

void lamp_runner::run_until_idle(uint64_t limit_us) {
    uint64_t next = 0;
    while (powered_ && board_next_event_us(&next) != 0 && offset_us_ + next <= limit_us) {
        uint64_t step = now() + 1000000u;
        uint64_t expiry = 0;
        if (board_next_timer_expiry_us(&expiry) != 0 && offset_us_ + expiry < step) {
            step = offset_us_ + expiry;
        }
        advance_to(step < limit_us ? step : limit_us);
    }
}

void lamp_runner::after_events() {
    flush_pending_output();
    report_state_changes();
    report_flash();
}

void lamp_runner::report_state_changes() {
    const light_ctrl_data_t &d = light_ctrl_data;
    const uint64_t t = now();
    lamp_state &s = shown_state_;
    if (d.switch_status != s.switch_on) {
        log_.line(t, "switch " + on_off(s.switch_on) + " -> " + on_off(d.switch_status));
        for (trace_sink *sink : sinks_) {
            sink->switch_state(t, d.switch_status);
        }
    }
    const struct {
        const char *name;
        uint32_t was, is;
    } fields[] = {
        {"bright", s.bright, d.bright},
        {"temper", s.temper, d.temper},
        {"countdown", s.countdown, d.countdown},
        {"blink_cnt", s.blink_cnt, d.blink_cnt},
        {"adjusted_mode", s.adjusted_mode, d.adjusted_mode},
    };
    for (const auto &f : fields) {
        if (f.was != f.is) {
            log_.line(t, std::string(f.name) + " " + std::to_string(f.was) + " -> " +
                             std::to_string(f.is));
        }
    }
    s = {d.switch_status, d.bright, d.temper, d.countdown, d.adjusted_mode, d.blink_cnt};
}

void lamp_runner::report_flash() {
    const uint32_t ops = flash_host_operations();
    if (ops == flash_ops_) {
        return;
    }
    flash_ops_ = ops;
    const uint64_t t = now();
    if (nvm_fail_) {
        log_.line(t, "save refused by the store (nvm-fail on)");
        return;
    }
    nvm_read(NVM_KV_LIGHT_DATA, 0, record_.data(), static_cast<uint16_t>(record_.size()));
    const light_app_data_flash_t *r =
        reinterpret_cast<const light_app_data_flash_t *>(record_.data());
    char text[160];
    std::snprintf(text, sizeof text, "saved: record %s (power %u, bright %u, temper %u)",
                  hex_bytes(record_.data(), record_.size()).c_str(), r->power,
                  r->bright[0] | (r->bright[1] << 8), r->temper[0] | (r->temper[1] << 8));
    log_.line(t, text);
}

void lamp_runner::execute(const command &c) {
    const uint64_t t = c.at_us;
    for (trace_sink *s : sinks_) {
        if (c.kind != op::run && c.kind != op::end) {
            s->command(t, c.text);
        }
    }
    std::string result;
    log_.begin_command();
    switch (c.kind) {
    case op::init:
        if (!powered_) {
            power_on(t);
            log_.line(t, "power on");
        }
        light_ctrl_init();
        break;
    case op::process:
        result = result_name(light_ctrl_process(static_cast<light_switch_mode_t>(c.a)));
        break;
    case op::switch_set:
        result = result_name(light_ctrl_data_switch_set(c.a != 0));
        break;
    case op::bright_set:
        result = result_name(light_ctrl_data_bright_set(static_cast<uint16_t>(c.a)));
        break;
    case op::temper_set:
        result = result_name(light_ctrl_data_temperature_set(static_cast<uint16_t>(c.a)));
        break;
    case op::adjust:
        result = result_name(light_ctrl_data_adjusted(static_cast<light_adjusted_mode_t>(c.a)));
        break;
    case op::countdown:
        result = result_name(light_ctrl_data_countdown_set(static_cast<int32_t>(c.a)));
        break;
    case op::blink:
        result = result_name(light_ctrl_blink_start(static_cast<blink_end_state_t>(c.a),
                                                    static_cast<uint8_t>(c.b),
                                                    static_cast<uint16_t>(c.c)));
        break;
    case op::save:
        result = result_name(light_ctrl_data_auto_save());
        break;
    case op::save_after:
        result = result_name(light_ctrl_data_auto_save_start(static_cast<uint32_t>(c.a)));
        break;
    case op::scene: {
        light_scene_data_flash_t scene{};
        const light_result_t r = light_ctrl_scene_data_get(&scene);
        char text[96];
        std::snprintf(text, sizeof text, "%s, bytes %s (power %u, bright %u, temper %u)",
                      result_name(r).c_str(), hex_bytes(scene.bytes, 2).c_str(),
                      LIGHT_SCENE_POWER(&scene), LIGHT_SCENE_BRIGHT(&scene),
                      LIGHT_SCENE_TEMPER(&scene));
        result = text;
        break;
    }
    case op::state: {
        bool on = false;
        uint16_t bright = 0, temper = 0;
        const light_result_t r1 = light_ctrl_data_switch_get(&on);
        const light_result_t r2 = light_ctrl_data_bright_get(&bright);
        const light_result_t r3 = light_ctrl_data_temperature_get(&temper);
        char text[160];
        std::snprintf(text, sizeof text,
                      "switch %s (%s), bright %u (%s), temper %u (%s), outputs (%u, %u)",
                      on_off(on).c_str(), result_name(r1).c_str(), bright, result_name(r2).c_str(),
                      temper, result_name(r3).c_str(), board_pwm_duty(0), board_pwm_duty(1));
        result = text;
        break;
    }
    case op::config:
        keep_config(config_, c.config);
        apply_config(config_);
        break;
    case op::power_cut:
        power_cut(t);
        break;
    case op::nvm_fail:
        nvm_fail_ = c.a != 0;
        flash_host_refuse_writes(nvm_fail_);
        break;
    case op::run:
    case op::end:
        break;
    }
    if (powered_) {
        after_events();
    }
    log_.end_command(t, c.text, result);
}

run_totals lamp_runner::run(const scenario &s) {
    board_pwm_set_listener(pwm_hook, this);
    board_timer14_set_listener(timer14_hook, this);
    flash_host_refuse_writes(false);
    power_on(0);
    uint64_t end = 0;
    bool ended = false;
    for (const command &c : s.commands) {
        advance_to(c.at_us);
        execute(c);
        end = c.at_us;
        if (c.kind == op::end) {
            ended = true;
            break;
        }
    }
    if (!ended) {
        run_until_idle(end + idle_limit_us);
        end = last_event_us_ > end ? last_event_us_ : end;
        advance_to(end);
    }
    flush_pending_output();
    if (powered_) {
        totals_.ticks += board_timer14_tick_count();
    }
    board_pwm_set_listener(nullptr, nullptr);
    board_timer14_set_listener(nullptr, nullptr);
    flash_host_refuse_writes(false);
    totals_.end_us = end;
    return totals_;
}

} // namespace lampsim
