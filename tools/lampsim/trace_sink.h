#pragma once
// What a run shows over time, for the writers that keep it (CSV, VCD, chart).
#include <cstdint>
#include <string>

namespace lampsim {

class trace_sink {
  public:
    virtual ~trace_sink() = default;
    // The module wrote the outputs; a write of channel 0 and then channel 1 on
    // the same microsecond is one update.
    virtual void output(uint64_t t_us, uint16_t channel0, uint16_t channel1) = 0;
    virtual void switch_state(uint64_t t_us, bool on) = 0;
    virtual void power(uint64_t t_us, bool on) = 0;
    virtual void command(uint64_t t_us, const std::string &text) = 0;
    // The run is over at t_us; false if the output could not be written.
    virtual bool finish(uint64_t t_us) = 0;
};

} // namespace lampsim
