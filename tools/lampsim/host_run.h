#pragma once
// The scenario on the simulated host board, in this process.
#include "events.h"
#include "scenario.h"

namespace lampsim {

// The flash is whatever the host flash holds when this is called.
void run_on_host(const scenario &s, events &out);

} // namespace lampsim
