// Checks the integer fade step (Light/fade_step/fade_step.h) against the float
// reference (tests/support/fade_step_float.h) over every input a fade can meet, and prints
// the number of cases and the time taken.
//
// 1. Scales: every pair 0 <= a <= m, 1 <= m <= 65535, bit for bit.
// 2. Steps: the tick asks for a step only for e < m <= 65535 (the dominant
//    channel takes step_gain without it), with a scale that is 0, 1 or a float
//    in [2^-16, 1) (every quotient a/m is at least 1/65535). The check covers
//    every such float, not only the scales of the same fade, so a scale kept
//    from an earlier fade is covered too:
//    - s = 0 and s = 1: every pair e < m.
//    - e = 0 and e = 1 with s in (0, 1): both give 0; see fade_step.h. The
//      float reference is checked on every pair with a few scales per m.
//    - e >= 2, s in (0, 1): with D = e - 1 - (m - 1)*s (exact) and
//      B = 2^(p-24) + 2^-24, p = floor(log2(e - 1)), both paths give [D > 0]
//      whenever |D| > B:
//        float: if e - x >= 1 the step is 1 and D >= s - |x - m*s| > 0; if
//        e - x <= 0 the step is 0 and D <= |x - m*s| - (1 - s); in between
//        the step is [D + (m*s - x) >= -2^-25]. Where that differs from [D > 0],
//        x is within one float of e - 1 .. e, so |x - m*s| <= 2^(p-24), and
//        |D| <= 2^(p-24) + 2^-25.
//        integer: the step is [D > s - th*2^-k] with th from fade_step.h,
//        and s - th*2^-k lies in [-2^-25 - 2^(p-24) - 2^-k, 2^(p-24)).
//      So for every pair (e, m) it is enough to check the floats s with
//      |D| <= B: a window of width 2B/(m-1) around (e-1)/(m-1), about four
//      floats. The window is taken a little wider than B.
#include "exhaustive.h"

namespace {

using exhaustive::report;
using exhaustive::tally;
using fade_step_float::bits_of;
using fade_step_float::float_of;

void check_scales(uint32_t m, tally &t) {
    for (uint32_t a = 0; a <= m; ++a) {
        const uint32_t want =
            bits_of(fade_step_float::scale(static_cast<uint16_t>(a), static_cast<uint16_t>(m)));
        const uint32_t got = fade_step::float_bits(
            fade_step::scale(static_cast<uint16_t>(a), static_cast<uint16_t>(m)));
        ++t.cases;
        if (want != got) {
            report("scale", a, m, want, want, got, t);
        }
    }
}

void check_step(uint32_t e, uint32_t m, float s, tally &t) {
    const uint16_t want =
        fade_step_float::step(static_cast<uint16_t>(e), static_cast<uint16_t>(m), s, 1);
    int32_t margin = 0;
    const uint32_t got = fade_step::step(e, m, fade_step::from_float_bits(bits_of(s)), margin) & 1u;
    ++t.cases;
    if (want != got) {
        report("step", e, m, bits_of(s), want, got, t);
    }
}

void check_steps(uint32_t m, tally &t) {
    const float lowest = std::ldexp(1.0f, -16);
    const uint32_t below_one = bits_of(1.0f) - 1u;
    for (uint32_t e = 0; e < m; ++e) {
        check_step(e, m, 0.0f, t);
        check_step(e, m, 1.0f, t);
    }
    // e = 0, 1: the smallest scales, the largest, and the share of m.
    for (uint32_t e = 0; e < 2 && e < m; ++e) {
        const float some[] = {
            lowest, float_of(bits_of(lowest) + 1u), float_of(below_one),
            fade_step_float::scale(1, static_cast<uint16_t>(m)),
            fade_step_float::scale(static_cast<uint16_t>(m - 1), static_cast<uint16_t>(m))};
        for (float s : some) {
            check_step(e, m, s, t);
        }
    }
    for (uint32_t e = 2; e < m; ++e) {
        exhaustive::for_each_band_scale(e, m, [&](float s) { check_step(e, m, s, t); });
    }
}

} // namespace

int main(int argc, char **argv) {
    const exhaustive::part parts[] = {{"scales (0 <= a <= m)", check_scales},
                                      {"steps (e < m)", check_steps}};
    return exhaustive::main_of(argc, argv, parts);
}
