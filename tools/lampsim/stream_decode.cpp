#include "stream_decode.h"

#include "stream.h"

#include "commands.h"
#include "varint.h"

namespace lampsim {
namespace {

struct reader {
    const std::vector<uint8_t> &bytes;
    size_t at = 0;
    bool bad = false;

    uint64_t number() {
        uint64_t v = 0;
        auto at32 = static_cast<uint32_t>(at);
        if (!varint::get(bytes.data(), static_cast<uint32_t>(bytes.size()), at32, v)) {
            bad = true;
            return 0;
        }
        at = at32;
        return v;
    }
    int64_t signed_number() { return varint::unzigzag(number()); }
    lamp_state lamp() {
        lamp_state s{};
        s.switch_on = static_cast<uint8_t>(number());
        s.bright = static_cast<uint16_t>(number());
        s.temper = static_cast<uint16_t>(number());
        s.countdown = static_cast<uint32_t>(number());
        s.adjusted_mode = static_cast<uint8_t>(number());
        s.blink_cnt = static_cast<uint8_t>(number());
        s.bright_mode = static_cast<uint8_t>(number());
        return s;
    }
};

} // namespace

bool decode_stream(const std::vector<uint8_t> &bytes, size_t steps, events &out,
                   stream_extras &extras, std::string &error) {
    using namespace stream;
    reader in{bytes};
    uint64_t t = 0;
    while (in.at < bytes.size() && !in.bad) {
        const size_t record_at = in.at;
        const uint8_t tag = bytes[in.at++];
        t += static_cast<uint64_t>(in.signed_number());
        switch (tag) {
        case tag_power_on:
        case tag_power_off: {
            const uint64_t ticks = in.number();
            const lamp_state s = in.lamp();
            if (!in.bad) {
                out.power(t, tag == tag_power_on, ticks, s);
            }
            break;
        }
        case tag_pwm0:
        case tag_pwm1:
        case tag_pwm: {
            const uint8_t channel = tag == tag_pwm0   ? 0
                                    : tag == tag_pwm1 ? 1
                                                      : static_cast<uint8_t>(in.number());
            const uint16_t duty = static_cast<uint16_t>(in.number());
            if (!in.bad) {
                out.pwm(t, channel, duty);
            }
            break;
        }
        case tag_fade_start:
        case tag_fade_stop: {
            const uint32_t period = static_cast<uint32_t>(in.number());
            const uint64_t ticks = in.number();
            if (!in.bad) {
                out.fade(t, tag == tag_fade_start, period, ticks);
            }
            break;
        }
        case tag_state: {
            const lamp_state s = in.lamp();
            if (!in.bad) {
                out.state(t, s);
            }
            break;
        }
        case tag_save: {
            const uint16_t written = static_cast<uint16_t>(in.number());
            uint8_t record[saved_record_size];
            if (in.at + saved_record_size > bytes.size()) {
                in.bad = true;
                break;
            }
            for (uint8_t &b : record) {
                b = bytes[in.at++];
            }
            out.save(t, written, record);
            break;
        }
        case tag_begin: {
            const uint64_t index = in.number();
            in.bad = in.bad || index >= steps;
            if (!in.bad) {
                out.begin(t, static_cast<uint32_t>(index));
            }
            break;
        }
        case tag_result: {
            const uint64_t index = in.number();
            const int16_t result = static_cast<int16_t>(in.signed_number());
            const uint64_t count = in.number();
            int64_t readings[max_readings] = {};
            if (index >= steps || count > max_readings) {
                in.bad = true;
                break;
            }
            for (uint64_t i = 0; i < count; ++i) {
                readings[i] = in.signed_number();
            }
            if (!in.bad) {
                out.result(t, static_cast<uint32_t>(index), result, readings,
                           static_cast<uint8_t>(count));
            }
            break;
        }
        case tag_end: {
            const uint64_t ticks = in.number();
            if (!in.bad) {
                out.end(t, ticks);
                extras.ended = true;
            }
            break;
        }
        case tag_digest: {
            fade_digest d{};
            d.writes = static_cast<uint32_t>(in.number());
            d.crc = static_cast<uint32_t>(in.number());
            d.last[0] = static_cast<uint16_t>(in.number());
            d.last[1] = static_cast<uint16_t>(in.number());
            if (!in.bad) {
                out.digest(t, d);
            }
            break;
        }
        case tag_busy_ms:
            extras.busy_ms = static_cast<uint32_t>(in.number());
            break;
        case tag_timing:
            extras.lag_us = static_cast<uint32_t>(in.number());
            extras.busy_run_ms = static_cast<uint32_t>(in.number());
            break;
        case tag_image: {
            const uint64_t len = in.number();
            if (in.bad || len > bytes.size() - in.at) {
                in.bad = true;
                break;
            }
            extras.image.assign(bytes.begin() + static_cast<std::ptrdiff_t>(in.at),
                                bytes.begin() + static_cast<std::ptrdiff_t>(in.at + len));
            in.at += static_cast<size_t>(len);
            break;
        }
        default:
            error =
                "unknown record " + std::to_string(tag) + " at byte " + std::to_string(record_at);
            return false;
        }
        if (in.bad) {
            error = "record " + std::to_string(tag) + " at byte " + std::to_string(record_at) +
                    " is cut short or out of range";
            return false;
        }
    }
    return true;
}

} // namespace lampsim
