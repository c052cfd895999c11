#pragma once
// The events of a run as text, one line each (--trace FILE): what the two
// boards must agree on byte for byte.
// Writes go unchecked: the stream's error flag keeps any failure for its
// owner, who checks it after the last (staged_file::finish).
#include "events.h"

#include <cstdio>

namespace lampsim {

class trace_text final : public events {
  public:
    explicit trace_text(std::FILE *out) : out_(out) {}

    void power(uint64_t t_us, bool on, uint64_t ticks, const lamp_state &state) override;
    void pwm(uint64_t t_us, uint8_t channel, uint16_t duty) override;
    void fade(uint64_t t_us, bool running, uint32_t period_us, uint64_t ticks) override;
    void state(uint64_t t_us, const lamp_state &state) override;
    void save(uint64_t t_us, uint16_t written, const uint8_t *record) override;
    void begin(uint64_t t_us, uint32_t index) override;
    void result(uint64_t t_us, uint32_t index, int16_t result, const int64_t *readings,
                uint8_t count) override;
    void end(uint64_t t_us, uint64_t ticks) override;
    void digest(uint64_t t_us, const fade_digest &d) override;

  private:
    void lamp(const lamp_state &s);
    std::FILE *out_;
};

} // namespace lampsim
