#pragma once
// Bytes written by stream::writer (player/stream.h) back into events.
#include "events.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lampsim {

struct stream_extras {
    bool ended = false;         // the run's end record came
    uint32_t busy_ms = 0;       // chip: milliseconds through which thread mode never ran
    uint32_t lag_us = 0;        // chip: the most its dispatcher fell behind a millisecond
    uint32_t busy_run_ms = 0;   // chip: the most of the busy milliseconds in a row
    std::vector<uint8_t> image; // chip: the store's flash, when asked for
};

// false, with the reason, on bytes that are not a whole stream of a run of
// `steps` steps.
bool decode_stream(const std::vector<uint8_t> &bytes, size_t steps, events &out,
                   stream_extras &extras, std::string &error);

} // namespace lampsim
