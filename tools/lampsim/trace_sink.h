#pragma once
// What a run shows over time, for the writers that keep it (CSV, VCD, chart).
#include <cstdint>
#include <string>

namespace lampsim {

class trace_sink {
  public:
    virtual ~trace_sink() = default;
    // The outputs as the lamp shows them: every update the module writes (a
    // write of channel 0 and then channel 1 on one microsecond is one
    // update), and dark from a power cut until the next write.
    virtual void output(uint64_t t_us, uint16_t channel0, uint16_t channel1) = 0;
    virtual void switch_state(uint64_t t_us, bool on) = 0;
    virtual void power(uint64_t t_us, bool on) = 0;
    // The mixing mode in force: at each power-on, and when it changes.
    virtual void mode(uint64_t t_us, uint8_t bright_mode) = 0;
    virtual void command(uint64_t t_us, const std::string &text) = 0;
    // What the module did by itself that a reader looks for: a save, a
    // hold's release, a countdown's toggle.
    virtual void mark(uint64_t t_us, const std::string &text) = 0;
    // The run is over at t_us; false if the output could not be written.
    virtual bool finish(uint64_t t_us) = 0;
};

} // namespace lampsim
