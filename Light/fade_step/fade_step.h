#ifndef LIGHT_FADE_STEP_H
#define LIGHT_FADE_STEP_H
// One fade step (the scale of a channel's distance and the step it takes) in
// integer arithmetic, bit for bit what the single-precision float steps give,
// for a core without an FPU, and the step's margin, which the tick carries from
// one tick to the next. The float form is the readable reference in
// tests/support/fade_step_float.h; the host tests and bench/fade_exhaustive
// (the step afresh, the margin carried) compare the two. The module finds this
// header through its include path, so a benchmark can build the tick on
// another form of the step.
//
// Notation: RN = round to nearest, ties to even, to single precision. A scale s
// in (0, 1) is mant * 2^-k with 2^23 <= mant < 2^24; every scale of a distance
// pair up to 65535 is 0, 1 or at least 1/65535 > 2^-16, so 24 <= k <= 39.
#include <stdint.h>

namespace fade_step {

// A scale as mant | k << 24; 0 is 0.0, and 1.0 is mant 2^23 with k 23.
typedef uint32_t scale_t;

constexpr uint32_t mant_mask = 0xFFFFFFu;
constexpr scale_t scale_one = (23u << 24) | (1u << 23);

// The scale's single-precision bit pattern, for comparing with the reference.
inline uint32_t float_bits(scale_t s) {
    const uint32_t mant = s & mant_mask;
    return mant == 0 ? 0u : ((150u - (s >> 24)) << 23) | (mant & 0x7FFFFFu);
}

// And back: the scale of a float 0 or in [2^-16, 1], given as its bit pattern.
inline scale_t from_float_bits(uint32_t b) {
    return b == 0 ? 0u : ((150u - (b >> 23)) << 24) | (b & 0x7FFFFFu) | 0x800000u;
}

// floor(log2(v)) for 1 <= v < 2^16.
[[gnu::always_inline]] inline uint32_t log2_floor(uint32_t v) {
    uint32_t p = 0;
    if (v >= 1u << 8) {
        v >>= 8;
        p = 8;
    }
    if (v >= 1u << 4) {
        v >>= 4;
        p += 4;
    }
    if (v >= 1u << 2) {
        v >>= 2;
        p += 2;
    }
    return v >= 2u ? p + 1u : p;
}

// RN(a/m) for 0 <= a <= m, 1 <= m < 2^16. The reference divides in double and rounds
// the quotient to float again; that double rounding never differs from one
// correct rounding here: with a, m < 2^16 and s in [2^-n, 2^-n+1), a/m is
// never a float midpoint (that would need a*2^(n+24) = odd * m, impossible as m
// has at most 15 factors 2), and |a/m - midpoint| >= 1/(m*2^(n+24)) > 2^-(n+40),
// far more than the double rounding error 2^-(n+53). So a/m and its double are
// on the same side of every midpoint. (GCC folds the reference to a float
// division for the same reason.) Hence mant = RN(a*2^k/m) with no ties: from
// the 25-bit quotient q = floor(2*a*2^k/m), mant = (q + 1) / 2.
inline scale_t scale(uint32_t a, uint32_t m) {
    if (a == 0) {
        return 0;
    }
    if (a >= m) {
        return scale_one;
    }
    uint32_t num = a;
    uint32_t k = 23;
    while (num < m) { // num = a*2^(k-23) in [m, 2m)
        num <<= 1;
        ++k;
    }
    // The 24 quotient bits after the leading 1, one a step (r < m < 2^16), by
    // shifting and subtracting: the fade engine asks for a scale when a fade
    // starts, not on every tick, and needs no division routine for it.
    uint32_t r = num - m;
    uint32_t q = 1;
    do {
        r <<= 1;
        q <<= 1;
        if (r >= m) {
            r -= m;
            ++q;
        }
    } while (q < 1u << 24);
    // mant stays below 2^24: a/m is at least 1/m > 2^-16 relative below the
    // next power of two, far more than half a unit (2^-24).
    return (k << 24) | ((q + 1u) >> 1);
}

// The step of the non-dominant channel (e < m < 2^16) with step_gain 1, that is
// [t4 >= 1] for t4 = RN(RN(e - RN(m*s)) + s). Derivation, s in (0, 1), x = RN(m*s):
// - t4 >= 1 iff RN(e - x) + s >= 1 - 2^-25 (the midpoint below 1; its tie
//   goes to 1.0, whose significand is even).
// - e = 0: t4 = RN(s - x) <= 0. e = 1: x >= 2s, so RN(1 - x) <= 1 - 2s + 2^-25
//   and t4 <= RN(1 - s + 2^-25) < 1 (s >= 2^-16). Both give 0.
// - e >= 2: if e - x >= 1, t4 >= 1; if e - x <= 0, t4 <= s < 1; between, x lies
//   in the binade [2^p, 2^(p+1)) of e - 1 (p = log2_floor(e - 1)), where floats
//   are 2^(p-23) apart, so e - x is exact. All three cases are
//       x <= e - 1 + s + 2^-25.
//   In units of 2^-k (k >= 24: x, s and e are multiples): with U = 2^q,
//   q = p + k - 23 (1 <= q <= 31), X = x*2^k = RN_U(m*mant) (nearest multiple
//   of U, ties to an even multiple), and mant' = mant + 2^(k-25) (k >= 25) or
//   mant (k = 24, where the half unit cannot matter):
//       X <= (e-1)*2^k + mant'.
//   (e-1)*2^k is an even multiple of U, so with w = m*mant - (e-1)*2^k this is
//   RN_U(w) <= F, F = mant' rounded down to a multiple of U, which holds iff
//       w < F + U/2 + [F/U even]  (= th, 0 < th < 2^26).
//   Outside that binade the same test still gives the right answer: th < 2^k,
//   so w <= 0 (x <= e - 1) passes and w >= 2^k (x >= e) fails.
// - w has up to 55 bits; it is built from 32-bit products: m*mant = 256*hi +
//   (lo mod 256) with hi = m*(mant >> 8) + lo/256 < 2^32, lo = m*(mant mod 256).
//   w < 0 when (e-1)*2^k >= 2^40 or hi < (e-1)*2^(k-8); w >= 2^31 when
//   hi - (e-1)*2^(k-8) >= 2^23. Otherwise w fits 31 bits, and so does th
//   (q <= 16 here, as (e-1)*2^k < 2^40).
// s = 0 gives t4 = e, so the step is [e >= 1]; s = 1 gives t4 = e - m + 1 <= 0,
// so 0 (the reference clamps t4 <= -1 to 0 as well).
//
// Whether a channel behind (0 < e < m) takes no step at any m while it stays
// behind: e = 1 with s > 0, or s = 1 (from step()'s derivation).
inline bool holds_back(uint32_t e, scale_t s) {
    return (s & mant_mask) != 0 && (e < 2u || (s >> 24) < 24u);
}

// mant' of step(): mant + 2^(k-25), or mant for k = 24.
inline uint32_t mant_t_of(scale_t s) {
    const uint32_t mant = s & mant_mask;
    const uint32_t k = s >> 24;
    return k >= 25u ? mant + (1u << (k - 25u)) : mant;
}

// The tick carries the test from one tick to the next as its margin z = w - th:
// the step is [z < 0] (see carry_lead). step() returns the step in bit 0 and, in
// bit 1 (margin_set), whether it set z: for e >= 2, s in (0, 1) and
// 0 <= w < 2^31, where -2^26 < z < 2^31. Elsewhere the step is decided without
// a margin and z is left as it was.
constexpr uint32_t margin_set = 2;

inline uint32_t step(uint32_t e, uint32_t m, scale_t s, int32_t &z) {
    const uint32_t mant = s & mant_mask;
    const uint32_t k = s >> 24;
    if (mant == 0) {
        return e != 0 ? 1u : 0u;
    }
    if (e < 2u || k < 24u) {
        return 0;
    }
    const uint32_t e1 = e - 1u;
    if ((e1 >> (40u - k)) != 0) {
        return 1;
    }
    const uint32_t lo = m * (mant & 0xFFu);
    const uint32_t hi = m * (mant >> 8) + (lo >> 8);
    const uint32_t base = e1 << (k - 8u);
    if (hi < base) {
        return 1;
    }
    const uint32_t d = hi - base;
    if (d >= 1u << 23) {
        return 0;
    }
    const uint32_t w = (d << 8) | (lo & 0xFFu);
    const uint32_t q = log2_floor(e1) + k - 23u;
    const uint32_t mant_t = mant_t_of(s);
    const uint32_t unit = 1u << q;
    const uint32_t th = (mant_t & ~(unit - 1u)) + (unit >> 1) + (((mant_t >> q) & 1u) ^ 1u);
    z = static_cast<int32_t>(w) - static_cast<int32_t>(th);
    return (w < th ? 1u : 0u) | margin_set;
}

// The margin z of step() at distances (e, m), carried to the next tick's.
// With s, and so mant and k, fixed,
//     z(e, m) = m*mant - (e-1)*2^k - th(p),  p = log2_floor(e - 1),
// so a unit less of the leading distance takes mant from z (carry_lead), and a
// unit less of the behind one adds 2^k (carry_behind), and where e - 2 falls
// in the binade below that of e - 1 (e - 1 = 2^p, p >= 1), th(p) - th(p - 1)
// too (rise_across): with h = 2^(q-1), half the unit of e - 1's binade,
//     th(p)     = (mant' rounded down to a multiple of 2h) + h   + [mant' & 2h = 0]
//     th(p - 1) = (mant' rounded down to a multiple of h)  + h/2 + [mant' & h = 0],
// and the two roundings differ by mant' & h, so
//     th(p) - th(p - 1) = h/2 - (mant' & h) + [mant' & 2h = 0] - [mant' & h = 0],
// h = 2^(p+k-24) = (e - 1) * 2^(k-24) >= 2. The next tick's distances are again
// e >= 2 and m >= e. carry_behind returns false, z unchanged, where the margin
// cannot be carried: at e = 2, whose next e is 1 (decided without a margin),
// and where 2^k is beyond 32-bit signed arithmetic (k > 30); the tick then
// asks step() afresh.
//
// z stays within 32-bit signed arithmetic as the tick carries it. step() sets
// -2^26 < z < 2^31, and only where (e-1)*2^k < 2^40, so q <= 16 then and on (e
// only falls): a change of binade moves z by at most h/2 + 1 <= 2^14 + 1, at
// most once per binade, so at most 15 times. While z >= 0 the step is 0, the
// channel behind does not move, and z falls by less than 2^24 a tick, so not
// below -2^24. While z < 0 the step is 1: the channel behind moves and z rises
// by 2^k or 2^k - mant (at least 1), less at most 2^14 + 1 at a change of
// binade, to below 2^30 + 2^14 + 1 (2^k > mant), unless the cold/warm
// alternation holds it. Then the leading channel moves (z falls by less than
// 2^24 once more) and the turn passes to it, so that on the next tick either
// it holds (alternating) or both move (not): the channel behind moves. So
// -2^26 - 2^25 - 15*(2^14 + 1) < z < 2^31 throughout.
inline int32_t carry_lead(int32_t z, scale_t s) {
    return z - static_cast<int32_t>(s & mant_mask);
}

// 2^k + th(p) - th(p - 1) for e1 = e - 1 = 2^p (p >= 1): the rise at a change
// of binade, a dozen times a fade, kept out of the tick's common path.
[[gnu::noinline]] inline uint32_t rise_across(uint32_t e1, scale_t s) {
    const uint32_t k = s >> 24;
    const uint32_t mant_t = mant_t_of(s);
    const uint32_t h = e1 << (k - 24u);
    return (1u << k) + (h >> 1) - (mant_t & h) + ((mant_t & h << 1) == 0 ? 1u : 0u) -
           ((mant_t & h) == 0 ? 1u : 0u);
}

inline bool carry_behind(int32_t &z, uint32_t e, scale_t s) {
    const uint32_t e1 = e - 1u;
    const uint32_t k = s >> 24;
    if (e1 < 2u || k > 30u) {
        return false;
    }
    z += static_cast<int32_t>((e1 & (e1 - 1u)) != 0 ? 1u << k : rise_across(e1, s));
    return true;
}

} // namespace fade_step

#endif
