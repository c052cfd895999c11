#include "recorder.h"

#include "channels.h"
#include "commands.h"
#include "expect.h"

#include "light_ctrl.h"

namespace lampsim {
namespace {

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

// A value as the line would write it: its word where the type has one.
std::string value_text(const arg_type &type, int64_t v) {
    for (uint8_t i = 0; i < type.word_count; ++i) {
        if (type.words[i].value == v) {
            return type.words[i].word;
        }
    }
    return std::to_string(v);
}

} // namespace

recorder::recorder(const scenario &s, timeline &log, std::vector<trace_sink *> sinks,
                   std::FILE *failures)
    : scenario_(s), log_(log), sinks_(std::move(sinks)), failures_(failures) {}

void recorder::flush_output() {
    if (!pending_) {
        return;
    }
    pending_ = false;
    ++totals_.writes;
    for (trace_sink *s : sinks_) {
        s->output(pending_at_, duty_[0], duty_[1]);
    }
}

void recorder::power(uint64_t t_us, bool on, uint64_t ticks, const lamp_state &state) {
    flush_output();
    if (on) {
        state_ = state;
        log_.line(t_us, std::string("power on, mode ") + mode_word(state.bright_mode));
        for (trace_sink *s : sinks_) {
            s->power(t_us, true);
            s->mode(t_us, state.bright_mode);
            s->switch_state(t_us, state.switch_on != 0);
        }
        return;
    }
    if (fading_) {
        log_.line(t_us, "fade cut off by the power cut");
        fading_ = false;
    }
    totals_.ticks += ticks;
    duty_[0] = duty_[1] = 0;
    for (trace_sink *s : sinks_) {
        s->switch_state(t_us, false);
        s->power(t_us, false);
        s->output(t_us, 0, 0); // dark with the supply, until the next write
    }
}

void recorder::pwm(uint64_t t_us, uint8_t channel, uint16_t duty) {
    if (channel > 1) {
        return;
    }
    if (pending_ && !(channel == 1 && pending_at_ == t_us)) {
        flush_output();
    }
    duty_[channel] = duty;
    pending_ = true;
    pending_at_ = t_us;
    if (channel == 1) {
        flush_output();
    }
}

void recorder::fade(uint64_t t_us, bool running, uint32_t period_us, uint64_t ticks) {
    flush_output();
    if (running) {
        fading_ = true;
        fade_started_us_ = t_us;
        fade_start_ticks_ = ticks;
        log_.line(t_us, "fade start: tick " + std::to_string(period_us) + " us");
        return;
    }
    fading_ = false;
    char text[96];
    std::snprintf(text, sizeof text, "fade stop: %llu ticks in %.3f ms, outputs ",
                  static_cast<unsigned long long>(ticks - fade_start_ticks_),
                  static_cast<double>(t_us - fade_started_us_) / 1000.0);
    log_.line(t_us, text + outputs_text(state_.bright_mode, duty_[0], duty_[1]));
}

void recorder::state(uint64_t t_us, const lamp_state &s) {
    flush_output();
    const lamp_state was = state_;
    state_ = s;
    if (was.switch_on != s.switch_on) {
        log_.line(t_us, "switch " + on_off(was.switch_on != 0) + " -> " + on_off(s.switch_on != 0));
        for (trace_sink *sink : sinks_) {
            sink->switch_state(t_us, s.switch_on != 0);
        }
    }
    const struct {
        const char *name;
        uint32_t was, is;
    } fields[] = {
        {"bright", was.bright, s.bright},
        {"temper", was.temper, s.temper},
        {"countdown", was.countdown, s.countdown},
        {"blink_cnt", was.blink_cnt, s.blink_cnt},
        {"adjusted_mode", was.adjusted_mode, s.adjusted_mode},
    };
    for (const auto &f : fields) {
        if (f.was != f.is) {
            log_.line(t_us, std::string(f.name) + " " + std::to_string(f.was) + " -> " +
                                std::to_string(f.is));
        }
    }
    if (was.bright_mode != s.bright_mode) {
        log_.line(t_us, std::string("mode ") + mode_word(was.bright_mode) + " -> " +
                            mode_word(s.bright_mode));
        for (trace_sink *sink : sinks_) {
            sink->mode(t_us, s.bright_mode);
        }
    }
    if (in_step_) {
        return;
    }
    // What the module did on its own: the end of a hold, a countdown's toggle.
    std::string mark;
    if ((was.adjusted_mode & ADJUST_HOLD_FLAG) != 0 && s.adjusted_mode == 0) {
        mark = "hold released";
    }
    if (was.countdown != 0 && s.countdown == 0 && was.switch_on != s.switch_on) {
        mark = "countdown: switched " + on_off(s.switch_on != 0);
    }
    if (!mark.empty()) {
        for (trace_sink *sink : sinks_) {
            sink->mark(t_us, mark);
        }
    }
}

void recorder::save(uint64_t t_us, uint16_t written, const uint8_t *record) {
    flush_output();
    const std::string bytes = hex_bytes(record, saved_record_size);
    std::string mark;
    if (written == saved_record_size) {
        char text[96];
        std::snprintf(text, sizeof text, " (power %u, bright %u, temper %u)", record[2],
                      record[3] | record[4] << 8, record[5] | record[6] << 8);
        log_.line(t_us, "saved: record " + bytes + text);
        mark = "saved";
    } else {
        log_.line(t_us, "save refused by the store: " + std::to_string(written) + " of " +
                            std::to_string(saved_record_size) + " bytes of record " + bytes +
                            " written");
        mark = "save refused";
    }
    for (trace_sink *s : sinks_) {
        s->mark(t_us, mark);
    }
}

void recorder::begin(uint64_t t_us, uint32_t index) {
    flush_output();
    in_step_ = true;
    log_.begin_command();
    const step_kind kind = command_table[scenario_.steps.at(index).index].kind;
    if (kind != step_kind::run && kind != step_kind::end && kind != step_kind::expect) {
        for (trace_sink *s : sinks_) {
            s->command(t_us, scenario_.texts[index]);
        }
    }
}

// The readings of a report as its entry shows them: %u a number, %x a byte in
// hexadecimal, %o on/off, %r a result name, %O the two outputs.
std::string recorder::shown(const command_spec &c, int16_t result, const int64_t *readings,
                            uint8_t count) const {
    std::string out = result == no_result ? "" : result_name(static_cast<uint8_t>(result));
    if (c.shows == nullptr) {
        return out;
    }
    out += out.empty() ? "" : ", ";
    uint8_t next = 0;
    auto take = [&]() { return next < count ? readings[next++] : 0; };
    for (const char *p = c.shows; *p != '\0'; ++p) {
        if (*p != '%' || p[1] == '\0') {
            out += *p;
            continue;
        }
        char text[16];
        switch (*++p) {
        case 'u':
            out += std::to_string(take());
            break;
        case 'x':
            std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(take() & 0xFF));
            out += text;
            break;
        case 'o':
            out += on_off(take() != 0);
            break;
        case 'r':
            out += result_name(static_cast<uint8_t>(take()));
            break;
        case 'O': {
            const int64_t first = take();
            out += outputs_text(state_.bright_mode, static_cast<uint16_t>(first),
                                static_cast<uint16_t>(take()));
            break;
        }
        default:
            out += *p;
        }
    }
    return out;
}

// An expectation against what the target showed, and the target's own
// verdict on it: "" when it holds.
std::string recorder::check(uint32_t index, int16_t verdict, const int64_t *readings,
                            uint8_t count) {
    const step &s = scenario_.steps.at(index);
    const command_spec &c = command_table[s.index];
    ++totals_.expectations;
    const bool holds = expectation_holds(s, readings, count);
    if (holds && verdict == 1) {
        return "";
    }
    std::string got = c.name + 7; // without "expect "
    if (count != snapshot_size) {
        got += " nothing";
    } else if (c.or_none && readings[c.field] == 0) {
        got += " none";
    } else {
        for (unsigned i = 0; i < c.arg_count; ++i) {
            got += " " + value_text(*c.args[i].type, readings[c.field + (c.or_none ? 1 : 0) + i]);
        }
    }
    if (holds != (verdict == 1)) {
        got += std::string(" (the target judged it ") + (verdict == 1 ? "held" : "failed") + ")";
    }
    ++totals_.failed;
    const std::string expected = scenario_.texts[index].substr(7);
    std::fprintf(failures_, "%s:%u: expected %s, got %s\n", scenario_.file.c_str(),
                 scenario_.lines[index], expected.c_str(), got.c_str());
    return got;
}

void recorder::result(uint64_t t_us, uint32_t index, int16_t result, const int64_t *readings,
                      uint8_t count) {
    flush_output();
    const command_spec &c = command_table[scenario_.steps.at(index).index];
    std::string text;
    if (c.kind == step_kind::expect) {
        const std::string got = check(index, result, readings, count);
        text = got.empty() ? "ok" : "FAILED, got " + got;
    } else {
        text = shown(c, result, readings, count);
    }
    in_step_ = false;
    log_.end_command(t_us, scenario_.texts[index], text);
}

void recorder::digest(uint64_t t_us, const fade_digest &d) {
    flush_output();
    duty_[0] = d.last[0];
    duty_[1] = d.last[1];
    totals_.digested += d.writes;
    char text[64];
    std::snprintf(text, sizeof text, "fade digest: %lu writes, CRC-32 %08lX",
                  static_cast<unsigned long>(d.writes), static_cast<unsigned long>(d.crc));
    log_.line(t_us, text);
}

void recorder::end(uint64_t t_us, uint64_t ticks) {
    flush_output();
    totals_.end_us = t_us;
    totals_.ticks += ticks;
}

} // namespace lampsim
