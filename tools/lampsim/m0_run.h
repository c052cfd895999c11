#pragma once
// The scenario on the Cortex-M0 firmware (tools/lampsim/target) under QEMU's
// micro:bit: the steps go to the player in a file, its events come back in
// another and are decoded into the same events the host run gives.
#include "events.h"
#include "scenario.h"
#include "stream_decode.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lampsim {

struct m0_options {
    std::string firmware;                           // the player image (ELF)
    std::string qemu;                               // qemu-system-arm, by path or name
    const std::vector<uint8_t> *image_in = nullptr; // the store's flash to start from
    bool image_out = false;                         // bring the store's flash back (extras.image)
    // QEMU at the nRF51's pace (real_pace_shift) instead of 1 ns an
    // instruction; the player then leaves the PWM writes out of its trace, so
    // that each fade tick costs what it costs in a product.
    bool real_pace = false;
};

// -icount shift of the real-pace run: 2^7 = 128 ns an instruction, the power
// of two nearest the chip's pace (16 MHz at about 1.8 cycles an instruction
// in the board's interrupts, about 110 ns; docs/target.md), and the slower.
constexpr int real_pace_shift = 7;
// A run at real pace fails when thread mode starved through more
// milliseconds in a row than this (at 1 ns an instruction, through any): a
// save in a fade at the shortest tick period keeps it out for about one, on
// the chip (whose core also stalls for the save's word programs) as in QEMU.
constexpr uint32_t real_pace_busy_run_ms = 1;
// A run on the chip fails when its dispatcher served a millisecond boundary
// later than this after it passed (extras.lag_us): the work of one callback
// or scenario line and the ticks it held up fit in it; a backlog that grows
// does not.
constexpr uint32_t lag_bound_us = 1000;

// false, with the reason, when the run could not be made or the firmware
// stopped without finishing it. With LAMPSIM_KEEP_WORKDIR set in the
// environment, the work directory (table.bin, trace.bin) stays, named on stderr.
bool run_on_m0(const scenario &s, const m0_options &o, events &out, stream_extras &extras,
               std::string &error);

// The path of the program `name` as the shell would find it; "" if none.
std::string find_program(const std::string &name);

} // namespace lampsim
