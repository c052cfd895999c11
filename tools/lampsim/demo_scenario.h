#pragma once
// The built-in demonstration: every feature of the lamp in about a minute.
namespace lampsim {
extern const char demo_scenario[];
}
