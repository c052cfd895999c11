#include "digest.h"

#include "crc32.h"

namespace lampsim {

void digest_events::close(uint64_t t_us) {
    if (!open_) {
        return;
    }
    open_ = false;
    digest_.last[0] = last_[0];
    digest_.last[1] = last_[1];
    out_.digest(t_us, digest_);
}

void digest_events::power(uint64_t t_us, bool on, uint64_t ticks, const lamp_state &state) {
    close(t_us);
    last_[0] = last_[1] = 0; // the board's outputs start dark at every power-on
    out_.power(t_us, on, ticks, state);
}

void digest_events::pwm(uint64_t t_us, uint8_t channel, uint16_t duty) {
    ++seen_;
    if (seen_ == change_) {
        duty = static_cast<uint16_t>(duty ^ 1u);
    }
    if (channel < 2) {
        last_[channel] = duty;
    }
    if (!open_) {
        out_.pwm(t_us, channel, duty);
        return;
    }
    const uint32_t since = static_cast<uint32_t>(t_us - start_us_);
    const uint8_t write[7] = {static_cast<uint8_t>(since),
                              static_cast<uint8_t>(since >> 8),
                              static_cast<uint8_t>(since >> 16),
                              static_cast<uint8_t>(since >> 24),
                              channel,
                              static_cast<uint8_t>(duty),
                              static_cast<uint8_t>(duty >> 8)};
    digest_.crc = crc32(digest_.crc, write, sizeof write);
    ++digest_.writes;
}

void digest_events::fade(uint64_t t_us, bool running, uint32_t period_us, uint64_t ticks) {
    close(t_us);
    out_.fade(t_us, running, period_us, ticks);
    if (running) {
        open_ = true;
        start_us_ = t_us;
        digest_ = {};
    }
}

void digest_events::state(uint64_t t_us, const lamp_state &state) {
    out_.state(t_us, state);
}

void digest_events::save(uint64_t t_us, uint16_t written, const uint8_t *record) {
    out_.save(t_us, written, record);
}

void digest_events::begin(uint64_t t_us, uint32_t index) {
    out_.begin(t_us, index);
}

void digest_events::result(uint64_t t_us, uint32_t index, int16_t result, const int64_t *readings,
                           uint8_t count) {
    out_.result(t_us, index, result, readings, count);
}

void digest_events::end(uint64_t t_us, uint64_t ticks) {
    close(t_us);
    out_.end(t_us, ticks);
}

void digest_events::digest(uint64_t t_us, const fade_digest &d) {
    out_.digest(t_us, d);
}

} // namespace lampsim
