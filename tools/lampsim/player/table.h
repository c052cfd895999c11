#pragma once
// How lampsim hands a scenario to the player on the chip: the file table.bin
// in the emulator's working directory holds a header, the store's flash image
// when the run starts from one, then the steps, each of step_size bytes; the
// player writes its events (stream.h) to trace.bin beside it. Little-endian.
#include "player.h"

#include <stddef.h>
#include <stdint.h>

namespace lampsim {
namespace table {

constexpr char table_file[] = "table.bin";
constexpr char trace_file[] = "trace.bin";

constexpr uint8_t magic[8] = {'L', 'A', 'M', 'P', 'S', 'T', 'P', '1'};
constexpr uint32_t header_size = 24;   // magic, step count, flags, image size
constexpr uint32_t flag_image_in = 1;  // the image follows the header
constexpr uint32_t flag_image_out = 2; // send the image back after the end
constexpr uint32_t flag_no_pwm = 4;    // leave the PWM writes out of the trace
constexpr uint32_t step_size = 48;     // at_us, index, argc, 6 spare, 4 args

inline void put_le(uint8_t *p, uint64_t v, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

inline uint64_t get_le(const uint8_t *p, unsigned bytes) {
    uint64_t v = 0;
    for (unsigned i = 0; i < bytes; ++i) {
        v |= static_cast<uint64_t>(p[i]) << (8 * i);
    }
    return v;
}

inline void put_step(uint8_t *p, const step &s) {
    put_le(p, s.at_us, 8);
    p[8] = s.index;
    p[9] = s.argc;
    put_le(p + 10, 0, 6);
    for (size_t i = 0; i < max_args; ++i) {
        put_le(p + 16 + 8 * i, static_cast<uint64_t>(s.args[i]), 8);
    }
}

inline void get_step(const uint8_t *p, step &s) {
    s.at_us = get_le(p, 8);
    s.index = p[8];
    s.argc = p[9];
    for (size_t i = 0; i < max_args; ++i) {
        s.args[i] = static_cast<int64_t>(get_le(p + 16 + 8 * i, 8));
    }
}

} // namespace table
} // namespace lampsim
