#pragma once
// What the page shows of the live lamp, read from the event stream like the
// other writers: the outputs as columns for the live chart, the supply and
// switch over time, the marks the SVG chart has (commands, saves, hold
// releases, countdown toggles, power, mode changes), and the state the
// firmware shows.
#include "output_column.h"
#include "scenario.h"
#include "signal_reader.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace lampsim {

class live_view final : public signal_reader<live_view> {
  public:
    static constexpr uint64_t column_us = 10000; // the chart's resolution: a column's stretch
    static constexpr size_t kept_columns = 4000;
    static constexpr size_t kept_marks = 256;

    enum class mark_kind : uint8_t { command, event, power, mode };
    struct mark_at {
        uint64_t t_us;
        mark_kind kind;
        std::string text;
    };
    struct level {
        uint64_t t_us;
        bool supply, switch_on;
    };

    explicit live_view(const scenario &lines) : lines_(lines) {}

    void output(uint64_t t_us, uint16_t channel0, uint16_t channel1);
    void switch_state(uint64_t t_us, bool on);
    void supply(uint64_t t_us, bool on);
    void mode(uint64_t t_us, uint8_t bright_mode);
    void command(uint64_t t_us, uint32_t index);
    void mark(uint64_t t_us, const std::string &text);
    void finish(uint64_t) {}

    void fade(uint64_t t_us, bool running, uint32_t period_us, uint64_t ticks) override;
    void power(uint64_t t_us, bool on, uint64_t ticks, const lamp_state &s) override;

    const std::deque<output_column> &columns() const { return columns_; }
    const std::deque<mark_at> &marks() const { return marks_; }
    const std::deque<level> &levels() const { return levels_; }
    // Grows by one whenever marks or levels change, so a reader fetches them
    // only then.
    uint32_t marks_version() const { return marks_version_; }

    uint16_t out(int channel) const { return out_[channel]; }
    const lamp_state &lamp_now() const { return lamp(); }
    bool supply_on() const { return supply_; }
    bool switch_on() const { return switch_; }
    uint8_t bright_mode() const { return mode_; }
    bool fading() const { return fading_; }
    uint32_t tick_us() const { return tick_us_; }

  private:
    void add_mark(uint64_t t_us, mark_kind kind, const std::string &text);
    void add_level(uint64_t t_us);

    const scenario &lines_;
    std::deque<output_column> columns_;
    std::deque<mark_at> marks_;
    std::deque<level> levels_;
    uint32_t marks_version_ = 0;
    uint16_t out_[2] = {0, 0};
    bool supply_ = false, switch_ = false;
    uint8_t mode_ = 1;
    bool fading_ = false;
    uint32_t tick_us_ = 0;
};

} // namespace lampsim
