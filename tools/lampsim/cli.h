#pragma once
// lampsim's command line as a function: what `lampsim ARGS` prints, writes
// and exits with. The program calls it with its own streams; the page calls
// the same function with streams in memory and files in its own file system,
// so the two give the same bytes.
#include "link_budget.h"
#include "m0_run.h"
#include "port_run.h"

#include <cstdio>
#include <string>
#include <vector>

namespace lampsim {

// Where a serial run plays: a board at a serial device, or the chip under
// QEMU with its UART on a socket (--board m0 --link uart).
struct serial_target {
    bool emulated = false;
    std::string device;         // a board's serial device
    std::string qemu, firmware; // the emulated chip
};

// The boards only a program on this machine reaches: QEMU, and boards on
// serial ports. The page has none.
class board_access {
  public:
    // "" when the chip's image can run under QEMU, else why not.
    virtual std::string m0_unusable(const m0_options &options) = 0;
    virtual bool run_m0(const scenario &s, const m0_options &options, events &out,
                        stream_extras &extras, std::string &error) = 0;
    // As run_on_port (0, 1 or 2); the link is opened by the first run and kept
    // for the next files (the board resets itself after each).
    virtual int run_serial(const scenario &s, const serial_target &where, const port_options &o,
                           events &out, stream_extras &extras, link_need &need,
                           std::string &error) = 0;

  protected:
    ~board_access() = default;
};

struct cli_streams {
    std::FILE *in;        // the scenario named `-`
    std::FILE *out;       // the timeline and what the options print
    std::FILE *err;       // messages
    board_access *boards; // null: --board m0 and --port are refused
};

// args: the arguments after the program's name.
int run_command_line(const std::vector<std::string> &args, const cli_streams &io);

} // namespace lampsim
