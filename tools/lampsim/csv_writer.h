#pragma once
// The outputs as rows "time_us,<channel 0>,<channel 1>,supply,switch,mode":
// one row per output update, and one where the supply, the switch or the
// mixing mode changes. The channel columns are named by the mode in force
// once the lines of time 0 have run; the mode column marks a change later on.
// Writes go unchecked: the stream's error flag keeps any failure for its
// owner, who checks it after the last (staged_file::finish).
#include "signal_reader.h"

#include <cstdio>
#include <string>

namespace lampsim {

class csv_writer final : public signal_reader<csv_writer> {
  public:
    explicit csv_writer(std::FILE *out);
    // The CSV so far, as a run that ended at t_us would have written it, into
    // `out`: this writer's rows up to here go on in its own file.
    void ended_copy(uint64_t t_us, std::FILE *out) const;

    void output(uint64_t t_us, uint16_t channel0, uint16_t channel1);
    void switch_state(uint64_t t_us, bool on);
    void supply(uint64_t t_us, bool on);
    void mode(uint64_t t_us, uint8_t bright_mode);
    void command(uint64_t, uint32_t) {}
    void mark(uint64_t, const std::string &) {}
    void finish(uint64_t t_us);

  private:
    void at(uint64_t t_us);
    void row(uint64_t t_us);

    std::FILE *out_;
    bool header_written_ = false;
    std::string held_; // rows of time 0, until the header is known
    bool status_changed_ = false;
    uint64_t status_at_ = 0;
    uint16_t channel_[2] = {0, 0};
    bool supply_ = false, switch_ = false;
    uint8_t mode_ = 1;
};

} // namespace lampsim
