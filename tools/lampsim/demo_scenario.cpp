#include "demo_scenario.h"

namespace lampsim {

const char demo_scenario[] = R"(# lampsim demonstration: one lamp, about a minute of its life.
# Brightness/temperature mixing, 2 s for a full-scale fade.
config mode=cct gradual=2000
0s      init                 # first power-on: empty store, defaults, fade-in
+2500ms state
# Step down one level; the key repeats within 300 ms, so it is held: the
# ramp runs towards the limit until 300 ms after the last repeat.
+500ms  adjust bright-
+0us    process gradual
+1s     adjust bright-       # a new step: the window had closed
+0us    process gradual
+200ms  adjust bright-       # repeat: hold
+0us    process gradual
+250ms  adjust bright-       # still held
+0us    process gradual
+800ms  state                # released: the frozen output is adopted
# Step and hold up again.
+500ms  adjust bright+
+0us    process gradual
+200ms  adjust bright+
+0us    process gradual
+250ms  adjust bright+
+0us    process gradual
+700ms  state
# Colour temperature: warmer, then colder in a hold.
+500ms  temper 20
+0us    process gradual
+1500ms adjust temper+
+0us    process gradual
+200ms  adjust temper+
+0us    process gradual
+900ms  state
# A countdown of 3 s switches the lamp off; switch on again by hand.
+4s     countdown 3
+5s     switch on
+0us    process gradual
# Blink three times, 1 s a toggle, ending where it started.
+3s     blink start 3 1000
# Saved a few seconds after the adjustments; save now as well.
+4s     save
+500ms  scene
# Wall switch: the power goes, the lamp comes back with what it saved.
+1s     power-cut
+2s     init
+3s     state
# Cold/warm mixing after the next power cycle: both channels fade together.
+500ms  power-cut
+500ms  config mode=cw
+0us    init
+3s     temper 100
+0us    process gradual
+3s     switch off
+0us    process gradual
+3s     end
)";

} // namespace lampsim
