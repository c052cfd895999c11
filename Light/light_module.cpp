// The module as one translation unit: every source of Light/ compiled
// together, so that the compiler inlines and folds across them whatever the
// firmware's own build does (with or without link-time optimisation). The
// files stay separate to read.
#include "light_state.cpp"     // NOLINT(bugprone-suspicious-include): the one translation unit
#include "light_mix.cpp"       // NOLINT(bugprone-suspicious-include): the one translation unit
#include "light_fade.cpp"      // NOLINT(bugprone-suspicious-include): the one translation unit
#include "light_switch.cpp"    // NOLINT(bugprone-suspicious-include): the one translation unit
#include "light_setters.cpp"   // NOLINT(bugprone-suspicious-include): the one translation unit
#include "light_adjust.cpp"    // NOLINT(bugprone-suspicious-include): the one translation unit
#include "light_countdown.cpp" // NOLINT(bugprone-suspicious-include): the one translation unit
#include "light_blink.cpp"     // NOLINT(bugprone-suspicious-include): the one translation unit
#include "light_persist.cpp"   // NOLINT(bugprone-suspicious-include): the one translation unit
