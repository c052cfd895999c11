#pragma once
// What lampsim says about itself, from the command table: the --help text and
// the command table of docs/lampsim.md (a test keeps the two the same).
#include "commands.h"

#include <string>

namespace lampsim {

// "blink start|on|off COUNT PERIOD_MS"
std::string usage_line(const command_spec &c);

std::string help_text();
std::string commands_markdown();

} // namespace lampsim
