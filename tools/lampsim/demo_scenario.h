#pragma once
// The built-in demonstration: every feature of the lamp in about a minute.
namespace lampsim {
// NOLINTNEXTLINE(bugprone-dynamic-static-initializers): a declaration; the text is a literal
extern const char demo_scenario[];
} // namespace lampsim
