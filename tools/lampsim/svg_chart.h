#pragma once
// A self-contained SVG chart of both channels in percent of full scale over
// time, with the commands marked on the time axis and the switch and supply
// drawn as lanes below. Long runs are thinned to a few thousand columns, each
// keeping its first, lowest, highest and last value, so no step is lost from
// sight.
#include "trace_sink.h"

#include <cstdio>
#include <string>
#include <vector>

namespace lampsim {

class svg_chart : public trace_sink {
  public:
    svg_chart(std::FILE *out, std::string title);
    void output(uint64_t t_us, uint16_t channel0, uint16_t channel1) override;
    void switch_state(uint64_t t_us, bool on) override;
    void power(uint64_t t_us, bool on) override;
    void command(uint64_t t_us, const std::string &text) override;
    bool finish(uint64_t t_us) override;

    struct column {
        uint64_t t_us;
        uint16_t first[2], low[2], high[2], last[2];
    };

  private:
    struct mark {
        uint64_t t_us;
        std::string text;
    };
    struct level {
        uint64_t t_us;
        bool on;
    };
    void thin();

    std::FILE *out_;
    std::string title_;
    uint64_t width_us_ = 1; // time covered by one column
    std::vector<column> columns_;
    std::vector<mark> marks_;
    std::vector<level> switch_, power_;
};

} // namespace lampsim
