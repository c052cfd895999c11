#include "vcd_writer.h"

#include "channels.h"

#include "light_ctrl.h"

namespace lampsim {
namespace {

const char ids[] = {'!', '"', '#', '$', '%'};
const unsigned widths[] = {16, 16, 1, 1, 1};
constexpr uint32_t unknown = UINT32_MAX;

} // namespace

vcd_writer::vcd_writer(std::FILE *out) : out_(out) {
    for (int i = 0; i < signal_count; ++i) {
        dumped_[i] = unknown;
        pending_[i] = 0;
    }
    pending_[cold_warm] = 0;
}

void vcd_writer::header() {
    header_written_ = true;
    const uint8_t mode = pending_[cold_warm] != 0 ? BRIGHT_MODE_CW : BRIGHT_MODE_CCT;
    const char *const names[] = {channel_id(mode, 0), channel_id(mode, 1), "switch", "supply",
                                 "cold_warm_mixing"};
    (void)std::fputs("$timescale 1 us $end\n$scope module lamp $end\n", out_);
    for (int i = 0; i < signal_count; ++i) {
        if (widths[i] == 1) {
            (void)std::fprintf(out_, "$var wire 1 %c %s $end\n", ids[i], names[i]);
        } else {
            (void)std::fprintf(out_, "$var wire %u %c %s [%u:0] $end\n", widths[i], ids[i],
                               names[i], widths[i] - 1);
        }
    }
    (void)std::fputs("$upscope $end\n$enddefinitions $end\n", out_);
}

// Changes are collected per microsecond: several writes on one microsecond
// leave one value, the last.
void vcd_writer::set(uint64_t t_us, int signal, uint32_t value) {
    if (t_us != time_) {
        flush_time();
        time_ = t_us;
    }
    pending_[signal] = value;
}

void vcd_writer::flush_time() {
    if (!header_written_) {
        header();
    }
    bool stamped = false;
    for (int i = 0; i < signal_count; ++i) {
        if (pending_[i] == dumped_[i]) {
            continue;
        }
        if (!stamped) {
            (void)std::fprintf(out_, "#%llu\n", static_cast<unsigned long long>(time_));
            stamped = true;
            time_written_ = true;
        }
        if (widths[i] == 1) {
            (void)std::fprintf(out_, "%u%c\n", pending_[i], ids[i]);
        } else {
            char bits[17];
            for (unsigned b = 0; b < widths[i]; ++b) {
                bits[b] = (pending_[i] >> (widths[i] - 1 - b)) & 1u ? '1' : '0';
            }
            bits[widths[i]] = '\0';
            (void)std::fprintf(out_, "b%s %c\n", bits, ids[i]);
        }
        dumped_[i] = pending_[i];
    }
}

void vcd_writer::output(uint64_t t_us, uint16_t channel0_value, uint16_t channel1_value) {
    set(t_us, channel0, channel0_value);
    set(t_us, channel1, channel1_value);
}

void vcd_writer::switch_state(uint64_t t_us, bool on) {
    set(t_us, switch_on, on ? 1 : 0);
}

void vcd_writer::supply(uint64_t t_us, bool on) {
    set(t_us, supply_on, on ? 1 : 0);
}

void vcd_writer::mode(uint64_t t_us, uint8_t bright_mode) {
    set(t_us, cold_warm, bright_mode == BRIGHT_MODE_CW ? 1 : 0);
}

void vcd_writer::finish(uint64_t t_us) {
    flush_time();
    if (t_us > time_ || !time_written_) {
        (void)std::fprintf(out_, "#%llu\n", static_cast<unsigned long long>(t_us));
    }
}

} // namespace lampsim
