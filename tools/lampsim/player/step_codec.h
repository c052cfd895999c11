#pragma once
// The step table as the serial link carries it and the chip keeps it: each
// step its time after the previous step's (the first after 0), its command's
// entry in the table, its argument count and its arguments, all as varint.h
// numbers (the arguments zigzag-coded). A scenario's hundred lines take about
// 600 bytes.
#include "player.h"

#include <stdint.h>

namespace lampsim {

constexpr uint32_t max_step_bytes = 3 + max_args; // varints: time, entry, count, arguments
constexpr uint32_t max_encoded_step = 10 * max_step_bytes;

// Writes step `s`, which follows a step at `previous_us`; returns the bytes
// written (at most max_encoded_step).
uint32_t put_step(uint8_t *out, const step &s, uint64_t previous_us);

// Steps by index out of an encoded table. Reading the last step again, or the
// one after it, takes at most one step's decoding; reading further back starts
// over from the first.
class step_reader {
  public:
    step_reader(const uint8_t *bytes, uint32_t size, uint32_t count)
        : bytes_(bytes), size_(size), count_(count) {}
    // False past the last step, or where the table does not decode.
    bool read(uint32_t index, step &out);
    // Whether the whole table decodes into exactly `count` steps.
    bool whole();

  private:
    bool next(step &out);

    const uint8_t *bytes_;
    uint32_t size_;
    uint32_t count_;
    uint32_t index_ = 0; // the step at offset_
    uint32_t offset_ = 0;
    uint64_t previous_us_ = 0;
    step last_{}; // step index_ - 1
    bool broken_ = false;
};

} // namespace lampsim
