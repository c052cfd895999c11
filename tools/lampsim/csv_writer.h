#pragma once
// Every output update as "time_us,channel0,channel1".
#include "trace_sink.h"

#include <cstdio>

namespace lampsim {

class csv_writer : public trace_sink {
  public:
    explicit csv_writer(std::FILE *out);
    void output(uint64_t t_us, uint16_t channel0, uint16_t channel1) override;
    void switch_state(uint64_t, bool) override {}
    void power(uint64_t, bool) override {}
    void command(uint64_t, const std::string &) override {}
    bool finish(uint64_t t_us) override;

  private:
    std::FILE *out_;
};

} // namespace lampsim
