// The module as one translation unit: every source of Light/ compiled
// together, so that the compiler inlines and folds across them whatever the
// firmware's own build does (with or without link-time optimisation). The
// files stay separate to read.
#include "light_state.cpp"
#include "light_mix.cpp"
#include "light_fade.cpp"
#include "light_switch.cpp"
#include "light_setters.cpp"
#include "light_adjust.cpp"
#include "light_countdown.cpp"
#include "light_blink.cpp"
#include "light_persist.cpp"
