#pragma once
// Value Change Dump in microseconds: the two channels (16-bit vectors, drawn
// as analog steps by a waveform viewer) named by the mixing mode in force once
// the lines of time 0 have run, the switch, the supply, and cold_warm_mixing
// (1 in cold/warm mixing), which marks a change of mode.
#include "trace_sink.h"

#include <cstdio>

namespace lampsim {

class vcd_writer : public trace_sink {
  public:
    explicit vcd_writer(std::FILE *out);
    void output(uint64_t t_us, uint16_t channel0, uint16_t channel1) override;
    void switch_state(uint64_t t_us, bool on) override;
    void power(uint64_t t_us, bool on) override;
    void mode(uint64_t t_us, uint8_t bright_mode) override;
    void command(uint64_t, const std::string &) override {}
    void mark(uint64_t, const std::string &) override {}
    bool finish(uint64_t t_us) override;

  private:
    enum { channel0, channel1, switch_on, supply, cold_warm, signal_count };
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
