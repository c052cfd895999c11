#pragma once
// An expectation judged against what the target showed at its line, and the
// consumer of the event stream that counts and reports the failures.
#include "events.h"
#include "player.h"
#include "scenario.h"

#include <cstdio>
#include <string>

namespace lampsim {

// "" when the `expect` step holds for the snapshot the player read at it and
// the target judged it so too (`verdict` 1); else what was seen instead, as
// the line would say it ("outputs 0 18000"), and the target's verdict where
// it differs.
std::string judge(const step &expectation, int16_t verdict, const int64_t *readings, uint8_t count);

class expectation_report final : public events {
  public:
    // Failures go to `failures` as "FILE:LINE: expected ..., got ..." lines.
    expectation_report(const scenario &lines, std::FILE *failures)
        : lines_(lines), failures_(failures) {}

    void power(uint64_t, bool, uint64_t, const lamp_state &) override {}
    void pwm(uint64_t, uint8_t, uint16_t) override {}
    void fade(uint64_t, bool, uint32_t, uint64_t) override {}
    void state(uint64_t, const lamp_state &) override {}
    void save(uint64_t, uint16_t, const uint8_t *) override {}
    void begin(uint64_t, uint32_t) override {}
    void result(uint64_t t_us, uint32_t index, int16_t verdict, const int64_t *readings,
                uint8_t count) override;
    void end(uint64_t, uint64_t) override {}

    unsigned expectations() const { return expectations_; }
    unsigned failed() const { return failed_; }

  private:
    const scenario &lines_;
    std::FILE *failures_;
    unsigned expectations_ = 0;
    unsigned failed_ = 0;
};

} // namespace lampsim
