#include "csv_writer.h"

#include "channels.h"

namespace lampsim {

csv_writer::csv_writer(std::FILE *out) : out_(out) {}

// Time moves on: a status change not shown by an output row gets its own.
void csv_writer::at(uint64_t t_us) {
    if (status_changed_ && t_us != status_at_) {
        status_changed_ = false;
        row(status_at_);
    }
}

void csv_writer::row(uint64_t t_us) {
    char text[96];
    (void)std::snprintf(text, sizeof text, "%llu,%u,%u,%d,%d,%s\n",
                        static_cast<unsigned long long>(t_us), channel_[0], channel_[1],
                        supply_ ? 1 : 0, switch_ ? 1 : 0, mode_word(mode_));
    if (!header_written_ && t_us == 0) {
        held_ += text;
        return;
    }
    if (!header_written_) {
        header_written_ = true;
        (void)std::fprintf(out_, "time_us,%s,%s,supply,switch,mode\n", channel_id(mode_, 0),
                           channel_id(mode_, 1));
        (void)std::fputs(held_.c_str(), out_);
    }
    (void)std::fputs(text, out_);
}

void csv_writer::output(uint64_t t_us, uint16_t channel0, uint16_t channel1) {
    at(t_us);
    channel_[0] = channel0;
    channel_[1] = channel1;
    status_changed_ = false;
    row(t_us);
}

void csv_writer::switch_state(uint64_t t_us, bool on) {
    at(t_us);
    status_changed_ |= switch_ != on;
    status_at_ = t_us;
    switch_ = on;
}

void csv_writer::supply(uint64_t t_us, bool on) {
    at(t_us);
    status_changed_ |= supply_ != on;
    status_at_ = t_us;
    supply_ = on;
}

void csv_writer::mode(uint64_t t_us, uint8_t bright_mode) {
    at(t_us);
    status_changed_ |= mode_ != bright_mode;
    status_at_ = t_us;
    mode_ = bright_mode;
}

void csv_writer::ended_copy(uint64_t t_us, std::FILE *out) const {
    csv_writer copy(*this);
    copy.out_ = out;
    copy.end(t_us, 0);
}

void csv_writer::finish(uint64_t t_us) {
    at(t_us + 1);
    if (!header_written_) {
        // Nothing after time 0: the header and the held rows still go out.
        header_written_ = true;
        (void)std::fprintf(out_, "time_us,%s,%s,supply,switch,mode\n", channel_id(mode_, 0),
                           channel_id(mode_, 1));
        (void)std::fputs(held_.c_str(), out_);
    }
}

} // namespace lampsim
