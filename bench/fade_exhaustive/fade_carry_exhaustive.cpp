// Checks the margin the fade tick carries from tick to tick
// (fade_step::carry_lead, carry_behind) against the margin of the next
// distances, and against the float reference where it decides a step, and
// prints the number of cases and the time taken. fade_exhaustive checks the
// step afresh.
//
// A fade's plan asks fade_step::step afresh whenever it is made: when the fade
// starts and after every change from outside (the delayed shut-down, a
// retarget), at whatever distances e < m the channels are and with the scale
// the fade has. From there the tick carries the margin z = w - th while the
// channel behind stays behind, within e - 1's binade and across into the
// binade below, down to e = 2. For every divisor
// m <= 65535 and every distance 2 <= e < m the check restarts there with
//   - the scale a fade starting at (e, m) has, scale(e, m), and
//   - every scale whose step at (e, m) the float rounding decides (the window
//     of fade_exhaustive: a margin near 0),
// and takes every tick that can follow: the leading channel moves, the behind
// one moves (only with a step of 1, z < 0), or both. Each margin step() sets
// must be the exact m*mant - (e-1)*2^k - th (64-bit, th as fade_step.h derives
// it); each carried margin must be the exact margin of the next distances,
// within the bounds fade_step.h proves, or carry_behind must decline exactly
// where e = 2 or k > 30; and where a channel is still
// behind, the carried margin must decide that tick's step as the float
// reference does. By induction over a fade's ticks every margin the tick uses
// is exact; its sign is step()'s test, which fade_exhaustive checks for every
// scale.
#include "exhaustive.h"

#include <stdint.h>

namespace {

using exhaustive::report;
using exhaustive::tally;
using fade_step_float::bits_of;
using fade_step_float::float_of;

// z(e, m) = m*mant - (e-1)*2^k - th in 64-bit arithmetic, e >= 2.
int64_t exact_margin(uint32_t e, uint32_t m, fade_step::scale_t s) {
    const int64_t mant = s & fade_step::mant_mask;
    const uint32_t k = s >> 24;
    const int64_t w = static_cast<int64_t>(m) * mant - (static_cast<int64_t>(e - 1) << k);
    const uint32_t p = 31u - static_cast<uint32_t>(__builtin_clz(e - 1));
    const uint32_t q = p + k - 23u;
    const int64_t mant_t = k >= 25 ? mant + (int64_t{1} << (k - 25)) : mant;
    const int64_t unit = int64_t{1} << q;
    const int64_t f = mant_t & ~(unit - 1);
    const int64_t th = f + unit / 2 + (((f >> q) & 1) == 0 ? 1 : 0);
    return w - th;
}

// The bounds fade_step.h proves for every margin the tick carries.
bool within_bounds(int64_t z) {
    const int64_t below = (int64_t{1} << 26) + (int64_t{1} << 25) + 15 * ((int64_t{1} << 14) + 1);
    return z > -below && z < (int64_t{1} << 31);
}

void check_tick(uint32_t e, uint32_t m, fade_step::scale_t s, int32_t z, uint32_t lead,
                uint32_t behind, bool with_float, tally &t) {
    const uint32_t bits = fade_step::float_bits(s);
    int32_t next = z;
    ++t.cases;
    if (behind != 0) {
        const bool declines = e == 2u || (s >> 24) > 30u;
        if (fade_step::carry_behind(next, e, s) == declines) {
            report(declines ? "carried at the end" : "declined", e, m, bits, declines ? 0 : 1,
                   declines ? 1 : 0, t);
            return;
        }
        if (declines) {
            return;
        }
    }
    if (lead != 0) {
        next = fade_step::carry_lead(next, s);
    }
    const uint32_t e2 = e - behind;
    const uint32_t m2 = m - lead;
    const int64_t want = exact_margin(e2, m2, s);
    if (next != want || !within_bounds(want)) {
        report(behind != 0 ? "carried behind" : "carried lead", e, m, bits, want, next, t);
        return;
    }
    if (with_float && e2 < m2) {
        const uint32_t step = fade_step_float::step(static_cast<uint16_t>(e2),
                                                    static_cast<uint16_t>(m2), float_of(bits), 1);
        if (step != (next < 0 ? 1u : 0u)) {
            report("carried step", e2, m2, bits, step, next < 0 ? 1 : 0, t);
        }
    }
}

void check_restart(uint32_t e, uint32_t m, fade_step::scale_t s, bool with_float, tally &t) {
    int32_t z = 0;
    ++t.cases;
    if ((fade_step::step(e, m, s, z) & fade_step::margin_set) == 0) {
        return;
    }
    const int64_t want = exact_margin(e, m, s);
    if (z != want) {
        report("margin", e, m, fade_step::float_bits(s), want, z, t);
        return;
    }
    check_tick(e, m, s, z, 1, 0, with_float, t);
    if (z < 0) {
        check_tick(e, m, s, z, 0, 1, with_float, t);
        check_tick(e, m, s, z, 1, 1, with_float, t);
    }
}

void check_margins(uint32_t m, tally &t) {
    for (uint32_t e = 2; e < m; ++e) {
        check_restart(e, m, fade_step::scale(e, m), true, t);
        exhaustive::for_each_band_scale(e, m, [&](float s) {
            check_restart(e, m, fade_step::from_float_bits(bits_of(s)), true, t);
        });
    }
}

} // namespace

int main(int argc, char **argv) {
    const exhaustive::part parts[] = {{"margins (2 <= e < m)", check_margins}};
    return exhaustive::main_of(argc, argv, parts);
}
