#pragma once
// Value Change Dump of the two channels (16-bit vectors, drawn as analog steps
// by a waveform viewer), the switch and the supply, in microseconds.
#include "trace_sink.h"

#include <cstdio>

namespace lampsim {

class vcd_writer : public trace_sink {
  public:
    explicit vcd_writer(std::FILE *out);
    void output(uint64_t t_us, uint16_t channel0, uint16_t channel1) override;
    void switch_state(uint64_t t_us, bool on) override;
    void power(uint64_t t_us, bool on) override;
    void command(uint64_t, const std::string &) override {}
    bool finish(uint64_t t_us) override;

  private:
    enum { channel0, channel1, switch_on, supply, signal_count };
    void set(uint64_t t_us, int signal, uint32_t value);
    void flush_time();

    std::FILE *out_;
    uint64_t time_ = 0;
    bool time_written_ = false;
    uint32_t dumped_[signal_count];
    uint32_t pending_[signal_count];
};

} // namespace lampsim
