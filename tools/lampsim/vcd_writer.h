#pragma once
// Value Change Dump in microseconds: the two channels (16-bit vectors, drawn
// as analog steps by a waveform viewer) named by the mixing mode in force once
// the lines of time 0 have run, the switch, the supply, and cold_warm_mixing
// (1 in cold/warm mixing), which marks a change of mode.
// Writes go unchecked: the stream's error flag keeps any failure for its
// owner, who checks it after the last (staged_file::finish).
#include "signal_reader.h"

#include <cstdio>
#include <string>

namespace lampsim {

class vcd_writer final : public signal_reader<vcd_writer> {
  public:
    explicit vcd_writer(std::FILE *out);
    void output(uint64_t t_us, uint16_t channel0, uint16_t channel1);
    void switch_state(uint64_t t_us, bool on);
    void supply(uint64_t t_us, bool on);
    void mode(uint64_t t_us, uint8_t bright_mode);
    void command(uint64_t, uint32_t) {}
    void mark(uint64_t, const std::string &) {}
    void finish(uint64_t t_us);

  private:
    enum { channel0, channel1, switch_on, supply_on, cold_warm, signal_count };
    void set(uint64_t t_us, int signal, uint32_t value);
    void flush_time();
    void header();

    std::FILE *out_;
    bool header_written_ = false;
    uint64_t time_ = 0;
    bool time_written_ = false;
    uint32_t dumped_[signal_count];
    uint32_t pending_[signal_count];
};

} // namespace lampsim
