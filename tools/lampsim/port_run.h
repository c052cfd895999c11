#pragma once
// A scenario on a board over its serial port (lampsim --port DEVICE, and
// --board m0 --link uart on the emulated micro:bit): the board's serial
// player (target/serial_player.cpp) plays it in real time and sends back its
// events, fades as digests and expectations judged on the board; lampsim
// replays them here and compares them with its own host-board run of the
// same file, byte for byte.
#include "events.h"
#include "link_budget.h"
#include "scenario.h"
#include "serial_link.h"
#include "stream_decode.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lampsim {

// The self-check of the board's frame checks: lampsim's first table frame
// sent as it is, with one byte changed, or cut short.
enum class frame_damage : uint8_t { none, corrupt, truncate };

struct port_options {
    uint32_t baud = 115200;
    int timeout_ms = 10000;     // of silence from the board
    std::vector<uint8_t> image; // the store's flash to start from (erased when none)
    bool image_out = false;     // bring the board's flash back (extras.image)
    uint32_t change_write = 0;  // self-check: the board changes this PWM write (digest.h)
    frame_damage damage = frame_damage::none; // self-check: lampsim's first table frame
    bool fault = false; // self-check: the board takes a fault as the run starts
};

// The host board's run of `s` as the board's serial player reports it (fades
// folded, digest.h), with a shortest tick period of `shortest_us` as the
// board's: the stream's bytes, what they ask of the link, the flash after it.
struct host_reference {
    std::vector<uint8_t> stream;
    link_meter meter;
    std::vector<uint8_t> flash;
};
host_reference run_host_reference(const scenario &s, const std::vector<uint8_t> &image,
                                  uint32_t shortest_us);

// Plays `s` on the board at the other end of `line`: the board's events go to
// `out`, its extras (thread mode's starvation, the flash) to `extras`. 0 when
// the run came back whole and equal to the host board's; 1 when it did not
// (the reason in `error`; `out` has what came); 2 when it was refused before
// anything ran (a rate too low for the scenario, a table too large). `need`:
// what the run asks of the line, from the host board's run.
int run_on_port(const scenario &s, serial_link &line, const port_options &o, events &out,
                stream_extras &extras, link_need &need, std::string &error);

} // namespace lampsim
