#pragma once
// The readable account of a run, read from the event stream: one line per
// thing that happened, with its scenario time. A scenario line shows with its
// result; what it caused is printed indented after it.
// Writes go unchecked: the stream's error flag keeps any failure for its
// owner, who checks it after the last (run_command_line).
#include "events.h"
#include "scenario.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace lampsim {

class timeline final : public events {
  public:
    timeline(const scenario &lines, std::FILE *out) : lines_(lines), out_(out) {}

    void power(uint64_t t_us, bool on, uint64_t ticks, const lamp_state &state) override;
    void pwm(uint64_t t_us, uint8_t channel, uint16_t duty) override;
    void fade(uint64_t t_us, bool running, uint32_t period_us, uint64_t ticks) override;
    void state(uint64_t t_us, const lamp_state &state) override;
    void save(uint64_t t_us, uint16_t written, const uint8_t *record) override;
    void begin(uint64_t t_us, uint32_t index) override;
    void result(uint64_t t_us, uint32_t index, int16_t result, const int64_t *readings,
                uint8_t count) override;
    void end(uint64_t, uint64_t) override {}
    void digest(uint64_t t_us, const fade_digest &d) override;

  private:
    void line(uint64_t t_us, const std::string &text);
    void print(uint64_t t_us, const std::string &text) const;
    std::string shown(const command_spec &c, int16_t result, const int64_t *readings,
                      uint8_t count) const;

    const scenario &lines_;
    std::FILE *out_;
    bool holding_ = false; // a scenario line runs: what it causes waits
    std::vector<std::pair<uint64_t, std::string>> held_;
    lamp_state state_{};
    uint16_t duty_[2] = {0, 0};
    bool fading_ = false;
    uint64_t fade_started_us_ = 0;
    uint64_t fade_start_ticks_ = 0;
};

std::string format_time(uint64_t t_us);  // "12.345678 s"
std::string result_name(uint8_t result); // "LIGHT_OK", ...

} // namespace lampsim
