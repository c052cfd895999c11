#pragma once
// lampsim's command line as a function: what `lampsim ARGS` prints, writes
// and exits with. The program calls it with its own streams; the page calls
// the same function with streams in memory and files in its own file system,
// so the two give the same bytes.
#include "m0_run.h"

#include <cstdio>
#include <string>
#include <vector>

namespace lampsim {

// The Cortex-M0 under QEMU, where a program can start one.
struct m0_board {
    // "" when a run can start, else why not.
    std::string (*unusable)(const m0_options &options);
    bool (*run)(const scenario &s, const m0_options &options, events &out, stream_extras &extras,
                std::string &error);
};

struct cli_streams {
    std::FILE *in;      // the scenario named `-`
    std::FILE *out;     // the timeline and what the options print
    std::FILE *err;     // messages
    const m0_board *m0; // null: --board m0 is refused
};

// args: the arguments after the program's name.
int run_command_line(const std::vector<std::string> &args, const cli_streams &io);

} // namespace lampsim
