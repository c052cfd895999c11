#include "timeline.h"

#include "channels.h"
#include "expectation.h"

#include "light_ctrl.h"

namespace lampsim {
namespace {

std::string hex_bytes(const uint8_t *bytes, size_t n) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        (void)std::snprintf(b, sizeof b, i == 0 ? "%02X" : " %02X", bytes[i]);
        s += b;
    }
    return s;
}

std::string on_off(bool on) {
    return on ? "on" : "off";
}

} // namespace

std::string format_time(uint64_t t_us) {
    char text[32];
    (void)std::snprintf(text, sizeof text, "%llu.%06llu s",
                        static_cast<unsigned long long>(t_us / 1000000u),
                        static_cast<unsigned long long>(t_us % 1000000u));
    return text;
}

std::string result_name(uint8_t result) {
    static const char *const names[] = {"LIGHT_OK", "LIGHT_ERROR", "LIGHT_FAIL",
                                        "LIGHT_INVALID_PARM"};
    return result < 4 ? names[result] : "result " + std::to_string(result);
}

void timeline::print(uint64_t t_us, const std::string &text) const {
    (void)std::fprintf(out_, "%14s  %s\n", format_time(t_us).c_str(), text.c_str());
}

void timeline::line(uint64_t t_us, const std::string &text) {
    if (holding_) {
        held_.emplace_back(t_us, text);
    } else {
        print(t_us, text);
    }
}

void timeline::power(uint64_t t_us, bool on, uint64_t, const lamp_state &state) {
    if (on) {
        state_ = state;
        line(t_us, std::string("power on, mode ") + mode_word(state.bright_mode));
        return;
    }
    if (fading_) {
        line(t_us, "fade cut off by the power cut");
        fading_ = false;
    }
    duty_[0] = duty_[1] = 0;
}

void timeline::pwm(uint64_t, uint8_t channel, uint16_t duty) {
    if (channel <= 1) {
        duty_[channel] = duty;
    }
}

void timeline::digest(uint64_t t_us, const fade_digest &d) {
    duty_[0] = d.last[0];
    duty_[1] = d.last[1];
    char text[64];
    (void)std::snprintf(text, sizeof text, "fade digest: %lu writes, CRC-32 %08lX",
                        static_cast<unsigned long>(d.writes), static_cast<unsigned long>(d.crc));
    line(t_us, text);
}

void timeline::fade(uint64_t t_us, bool running, uint32_t period_us, uint64_t ticks) {
    if (running) {
        fading_ = true;
        fade_started_us_ = t_us;
        fade_start_ticks_ = ticks;
        line(t_us, "fade start: tick " + std::to_string(period_us) + " us");
        return;
    }
    fading_ = false;
    char text[96];
    (void)std::snprintf(text, sizeof text, "fade stop: %llu ticks in %.3f ms, outputs ",
                        static_cast<unsigned long long>(ticks - fade_start_ticks_),
                        static_cast<double>(t_us - fade_started_us_) / 1000.0);
    line(t_us, text + outputs_text(state_.bright_mode, duty_[0], duty_[1]));
}

void timeline::state(uint64_t t_us, const lamp_state &s) {
    const lamp_state was = state_;
    state_ = s;
    if (was.switch_on != s.switch_on) {
        line(t_us, "switch " + on_off(was.switch_on != 0) + " -> " + on_off(s.switch_on != 0));
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
            line(t_us,
                 std::string(f.name) + " " + std::to_string(f.was) + " -> " + std::to_string(f.is));
        }
    }
    if (was.bright_mode != s.bright_mode) {
        line(t_us,
             std::string("mode ") + mode_word(was.bright_mode) + " -> " + mode_word(s.bright_mode));
    }
}

void timeline::save(uint64_t t_us, uint16_t written, const uint8_t *record) {
    const std::string bytes = hex_bytes(record, saved_record_size);
    if (written == saved_record_size) {
        char text[96];
        (void)std::snprintf(text, sizeof text, " (power %u, bright %u, temper %u)", record[2],
                            record[3] | record[4] << 8, record[5] | record[6] << 8);
        line(t_us, "saved: record " + bytes + text);
    } else {
        line(t_us, "save refused by the store: " + std::to_string(written) + " of " +
                       std::to_string(saved_record_size) + " bytes of record " + bytes +
                       " written");
    }
}

void timeline::begin(uint64_t, uint32_t) {
    holding_ = true;
}

// The readings of a report as its entry shows them: %u a number, %x a byte in
// hexadecimal, %o on/off, %r a result name, %O the two outputs.
std::string timeline::shown(const command_spec &c, int16_t result, const int64_t *readings,
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
            (void)std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(take() & 0xFF));
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

void timeline::result(uint64_t t_us, uint32_t index, int16_t result, const int64_t *readings,
                      uint8_t count) {
    const step &s = lines_.steps.at(index);
    const command_spec &c = command_table[s.index];
    std::string text;
    if (c.kind == step_kind::expect) {
        const std::string got = judge(s, result, readings, count);
        text = got.empty() ? "ok" : "FAILED, got " + got;
    } else {
        text = shown(c, result, readings, count);
    }
    holding_ = false;
    print(t_us, "> " + lines_.texts[index] + (text.empty() ? "" : "  => " + text));
    for (const auto &h : held_) {
        print(h.first, "    " + h.second);
    }
    held_.clear();
}

} // namespace lampsim
