#pragma once
// The judgement of an `expect` line against what the target showed: the same
// code on the chip (which reports its verdict) and in lampsim (which words
// the failure).
#include "player.h"

#include <stdint.h>

namespace lampsim {

// Whether the expectation of step `s` (an expect command) holds for the
// snapshot `readings` (snapshot_size values, in snapshot_field order); false
// for a snapshot of another size.
bool expectation_holds(const step &s, const int64_t *readings, uint8_t count);

} // namespace lampsim
