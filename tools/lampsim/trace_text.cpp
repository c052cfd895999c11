#include "trace_text.h"

namespace lampsim {
namespace {
unsigned long long ull(uint64_t v) {
    return static_cast<unsigned long long>(v);
}
} // namespace

void trace_text::lamp(const lamp_state &s) {
    (void)std::fprintf(out_, " %u %u %u %lu %u %u %u\n", s.switch_on, s.bright, s.temper,
                       static_cast<unsigned long>(s.countdown), s.adjusted_mode, s.blink_cnt,
                       s.bright_mode);
}

void trace_text::power(uint64_t t_us, bool on, uint64_t ticks, const lamp_state &state) {
    (void)std::fprintf(out_, "power %llu %s %llu", ull(t_us), on ? "on" : "off", ull(ticks));
    lamp(state);
}

void trace_text::pwm(uint64_t t_us, uint8_t channel, uint16_t duty) {
    (void)std::fprintf(out_, "pwm %llu %u %u\n", ull(t_us), channel, duty);
}

void trace_text::fade(uint64_t t_us, bool running, uint32_t period_us, uint64_t ticks) {
    (void)std::fprintf(out_, "fade %llu %s %lu %llu\n", ull(t_us), running ? "start" : "stop",
                       static_cast<unsigned long>(period_us), ull(ticks));
}

void trace_text::state(uint64_t t_us, const lamp_state &state) {
    (void)std::fprintf(out_, "state %llu", ull(t_us));
    lamp(state);
}

void trace_text::save(uint64_t t_us, uint16_t written, const uint8_t *record) {
    (void)std::fprintf(out_, "save %llu %u", ull(t_us), written);
    for (uint8_t i = 0; i < saved_record_size; ++i) {
        (void)std::fprintf(out_, " %02X", record[i]);
    }
    (void)std::fputc('\n', out_);
}

void trace_text::begin(uint64_t t_us, uint32_t index) {
    (void)std::fprintf(out_, "begin %llu %lu\n", ull(t_us), static_cast<unsigned long>(index));
}

void trace_text::result(uint64_t t_us, uint32_t index, int16_t result, const int64_t *readings,
                        uint8_t count) {
    (void)std::fprintf(out_, "result %llu %lu %d", ull(t_us), static_cast<unsigned long>(index),
                       result);
    for (uint8_t i = 0; i < count; ++i) {
        (void)std::fprintf(out_, " %lld", static_cast<long long>(readings[i]));
    }
    (void)std::fputc('\n', out_);
}

void trace_text::end(uint64_t t_us, uint64_t ticks) {
    (void)std::fprintf(out_, "end %llu %llu\n", ull(t_us), ull(ticks));
}

void trace_text::digest(uint64_t t_us, const fade_digest &d) {
    (void)std::fprintf(out_, "digest %llu %lu %08lX %u %u\n", ull(t_us),
                       static_cast<unsigned long>(d.writes), static_cast<unsigned long>(d.crc),
                       d.last[0], d.last[1]);
}

} // namespace lampsim
