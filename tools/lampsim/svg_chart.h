#pragma once
// A self-contained SVG chart of both channels in percent of full scale over
// time, named by the mixing mode, with the commands, the saves, hold releases,
// countdown toggles and mode changes marked on the time axis (labels close
// together merged into one), and the switch and supply drawn as lanes below.
// Long runs are thinned to a few thousand columns, each keeping its first,
// lowest, highest and last value, so no step is lost from sight.
// Writes go unchecked: the stream's error flag keeps any failure for its
// owner, who checks it after the last (staged_file::finish).
#include "output_column.h"
#include "scenario.h"
#include "signal_reader.h"

#include <cstdio>
#include <string>
#include <vector>

namespace lampsim {

class svg_chart final : public signal_reader<svg_chart> {
  public:
    // The commands' labels are the lines of `lines`.
    svg_chart(std::FILE *out, std::string title, const scenario &lines);
    void output(uint64_t t_us, uint16_t channel0, uint16_t channel1);
    void switch_state(uint64_t t_us, bool on);
    void supply(uint64_t t_us, bool on);
    void mode(uint64_t t_us, uint8_t bright_mode);
    void command(uint64_t t_us, uint32_t index);
    void mark(uint64_t t_us, const std::string &text);
    void finish(uint64_t t_us);

  private:
    enum class mark_kind { command, event, mode };
    struct label {
        uint64_t t_us;
        std::string text;
        mark_kind kind;
    };
    struct mode_change {
        uint64_t t_us;
        uint8_t mode;
    };
    struct level {
        uint64_t t_us;
        bool on;
    };
    void thin();

    std::FILE *out_;
    std::string title_;
    const scenario &lines_;
    uint64_t width_us_ = 1; // time covered by one column
    std::vector<output_column> columns_;
    std::vector<label> labels_;
    std::vector<mode_change> modes_;
    std::vector<level> switch_, power_;
};

} // namespace lampsim
