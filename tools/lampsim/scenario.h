#pragma once
// A lamp scenario: timed commands, each one call of the module or one act of
// the simulation, parsed completely before anything runs.
#include <cstdint>
#include <string>
#include <vector>

namespace lampsim {

enum class op {
    init,
    process,
    switch_set,
    bright_set,
    temper_set,
    adjust,
    countdown,
    blink,
    save,
    save_after,
    scene,
    state,
    config,
    power_cut,
    nvm_fail,
    run,
    end,
};

struct lamp_config {
    bool set_mode = false, set_way = false, set_gradual = false;
    uint8_t bright_mode = 0;
    uint8_t light_way = 0;
    uint32_t gradual_ms = 0;
};

struct command {
    uint64_t at_us = 0; // scenario time the command runs at (for run: its end)
    op kind = op::end;
    int64_t a = 0, b = 0, c = 0; // arguments, already range-checked
    lamp_config config;
    std::string text; // the line as written, for the timeline and the chart
    unsigned line = 0;
};

struct scenario {
    std::vector<command> commands;
};

struct parse_result {
    bool ok = false;
    scenario value;
    std::string error; // "file:line: what is wrong"
};

parse_result parse_scenario(const std::string &text, const std::string &file_name);

// "1.5s", "250ms", "300us" into microseconds; false if it is not one.
bool parse_duration(const std::string &word, uint64_t &us, std::string &why);

} // namespace lampsim
