#include "stream.h"

#include "varint.h"

namespace lampsim {
namespace stream {

void writer::start(uint8_t tag, uint64_t t_us) {
    used_ = 0;
    buf_[used_++] = tag;
    signed_number(static_cast<int64_t>(t_us - last_us_));
    last_us_ = t_us;
}

void writer::number(uint64_t v) {
    used_ += varint::put(&buf_[used_], v);
}

void writer::signed_number(int64_t v) {
    number(varint::zigzag(v));
}

void writer::lamp(const lamp_state &s) {
    number(s.switch_on);
    number(s.bright);
    number(s.temper);
    number(s.countdown);
    number(s.adjusted_mode);
    number(s.blink_cnt);
    number(s.bright_mode);
}

void writer::send() {
    sink_(ctx_, buf_, used_);
}

void writer::power(uint64_t t_us, bool on, uint64_t ticks, const lamp_state &state) {
    start(on ? tag_power_on : tag_power_off, t_us);
    number(ticks);
    lamp(state);
    send();
}

void writer::pwm(uint64_t t_us, uint8_t channel, uint16_t duty) {
    start(channel == 0 ? tag_pwm0 : channel == 1 ? tag_pwm1 : tag_pwm, t_us);
    if (channel > 1) {
        number(channel);
    }
    number(duty);
    send();
}

void writer::fade(uint64_t t_us, bool running, uint32_t period_us, uint64_t ticks) {
    start(running ? tag_fade_start : tag_fade_stop, t_us);
    number(period_us);
    number(ticks);
    send();
}

void writer::state(uint64_t t_us, const lamp_state &state) {
    start(tag_state, t_us);
    lamp(state);
    send();
}

void writer::save(uint64_t t_us, uint16_t written, const uint8_t *record) {
    start(tag_save, t_us);
    number(written);
    for (uint8_t i = 0; i < saved_record_size; ++i) {
        buf_[used_++] = record[i];
    }
    send();
}

void writer::begin(uint64_t t_us, uint32_t index) {
    start(tag_begin, t_us);
    number(index);
    send();
}

void writer::result(uint64_t t_us, uint32_t index, int16_t result, const int64_t *readings,
                    uint8_t count) {
    start(tag_result, t_us);
    number(index);
    signed_number(result);
    number(count);
    for (uint8_t i = 0; i < count; ++i) {
        signed_number(readings[i]);
    }
    send();
}

void writer::end(uint64_t t_us, uint64_t ticks) {
    start(tag_end, t_us);
    number(ticks);
    send();
}

void writer::digest(uint64_t t_us, const fade_digest &d) {
    start(tag_digest, t_us);
    number(d.writes);
    number(d.crc);
    number(d.last[0]);
    number(d.last[1]);
    send();
}

void writer::busy_ms(uint32_t ms) {
    start(tag_busy_ms, last_us_);
    number(ms);
    send();
}

void writer::timing(uint32_t lag_us, uint32_t busy_run_ms) {
    start(tag_timing, last_us_);
    number(lag_us);
    number(busy_run_ms);
    send();
}

void writer::image_head(uint32_t len) {
    start(tag_image, last_us_);
    number(len);
    send();
}

} // namespace stream
} // namespace lampsim
