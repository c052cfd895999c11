#ifndef LIGHT_LIGHT_QUOTIENT_H
#define LIGHT_LIGHT_QUOTIENT_H
// Unsigned division for the module's few divisions: the fade's period, a
// blink's tick and the temperature shown. None runs in the tick, and their
// quotients are short, so shifting and subtracting one quotient bit a step is
// fast enough, and smaller than the runtime library's division routine, which
// the module then does not need on the Cortex-M0.
#include <stdint.h>

namespace light {

// n / d for d != 0.
inline uint32_t quotient(uint32_t n, uint32_t d) {
    uint32_t bit = 1;
    while (d < n && (d >> 31) == 0) {
        d <<= 1;
        bit <<= 1;
    }
    uint32_t q = 0;
    while (bit != 0) {
        if (n >= d) {
            n -= d;
            q |= bit;
        }
        d >>= 1;
        bit >>= 1;
    }
    return q;
}

} // namespace light

#endif
