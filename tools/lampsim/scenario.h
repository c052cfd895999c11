#pragma once
// A lamp scenario: timed lines, each a command of the table (commands.h),
// parsed and checked completely before anything runs.
#include "player.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lampsim {

struct scenario {
    std::string file; // as named in messages
    std::vector<step> steps;
    std::vector<unsigned> lines;    // line number of each step
    std::vector<std::string> texts; // each step as written, without its time
};

struct parse_result {
    bool ok = false;
    scenario value;
    std::string error; // "file:line: what is wrong"
};

parse_result parse_scenario(const std::string &text, const std::string &file_name);

// Where in the power cycle the lines are, for the checks that depend on it.
struct power_cycle {
    bool powered = true;
    bool started = false;    // init run since the power-on
    bool has_result = false; // an operation with a result since the power-on
    bool ended = false;
};

// The lines of a scenario one by one, as they come (parse_scenario reads a
// file with it; the page's live lamp adds each input as a line).
class scenario_parser {
  public:
    explicit scenario_parser(scenario &into) : out_(into) {}
    // The line text[from, to), the next line of the file: its step added to
    // the scenario, or "FILE:LINE: what is wrong" and nothing changed (the
    // next line given takes its place).
    std::string line(const std::string &text, size_t from, size_t to);
    std::string line(const std::string &text) { return line(text, 0, text.size()); }
    uint64_t now_us() const { return now_; }
    const power_cycle &cycle() const { return state_; }

  private:
    scenario &out_;
    power_cycle state_;
    uint64_t now_ = 0;
    unsigned number_ = 0;
};

// "1.5s", "250ms", "300us" into microseconds, at most max_time_us.
bool parse_duration(const std::string &word, uint64_t &us, std::string &why);
// The largest unit that shows the time exactly: "1.5s", "250ms", "300us".
std::string format_duration(uint64_t us);
// A word of the user's, quoted for a message: printable, and cut to a
// readable length.
std::string quote(const std::string &word);
// The same without the quotes: how the lines' words show in the timeline.
std::string shown_word(const std::string &word);
// The name nearest to `word` (a prefix either way, or at most two edits); ""
// if none is near. Bounded work for a word of any length.
std::string nearest(const std::string &word, const std::vector<std::string> &names);

} // namespace lampsim
