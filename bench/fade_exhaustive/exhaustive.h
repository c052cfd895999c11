#ifndef BENCH_FADE_EXHAUSTIVE_EXHAUSTIVE_H
#define BENCH_FADE_EXHAUSTIVE_EXHAUSTIVE_H
// What the exhaustive checks of the fade step share: the tally of cases and
// differences, the run of a part over every divisor m on a number of threads,
// the command line, and the window of scales whose step at (e, m) the float
// rounding decides (see fade_exhaustive.cpp).
#include "fade_step.h"
#include "fade_step_float.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace exhaustive {

using fade_step_float::bits_of;
using fade_step_float::float_of;

struct tally {
    uint64_t cases = 0;
    uint64_t bad = 0;
};

inline void report(const char *what, uint64_t e, uint64_t m, uint32_t s, long long want,
                   long long got, tally &t) {
    if (t.bad++ < 10) {
        std::printf("DIFF %s e/a=%llu m=%llu s=%08x want=%lld got=%lld\n", what,
                    static_cast<unsigned long long>(e), static_cast<unsigned long long>(m), s, want,
                    got);
    }
}

// Every float s in [2^-16, 1) with |e - 1 - (m - 1)*s| within the rounding
// band of the step at (e, m), 2 <= e < m, a little wider.
template <typename F> void for_each_band_scale(uint32_t e, uint32_t m, F f) {
    const float lowest = std::ldexp(1.0f, -16);
    const uint32_t below_one = bits_of(1.0f) - 1u;
    const uint32_t p = fade_step::log2_floor(e - 1);
    const double bound = (std::ldexp(1.0, static_cast<int>(p) - 24) + std::ldexp(1.0, -24)) * 1.25;
    const double centre = static_cast<double>(e - 1) / static_cast<double>(m - 1);
    const double lo = centre - bound / (m - 1);
    const double hi = centre + bound / (m - 1);
    uint32_t b = bits_of(static_cast<float>(lo));
    if (static_cast<double>(float_of(b)) > lo) {
        --b; // start at or below the window
    }
    if (b < bits_of(lowest)) {
        b = bits_of(lowest);
    }
    for (; b <= below_one && static_cast<double>(float_of(b)) <= hi; ++b) {
        f(float_of(b));
    }
}

inline tally run(unsigned threads, uint32_t max_m, void (*part)(uint32_t, tally &)) {
    std::atomic<uint32_t> next{1};
    std::vector<tally> tallies(threads);
    std::vector<std::thread> pool;
    for (unsigned i = 0; i < threads; ++i) {
        pool.emplace_back([&, i] {
            // Largest m first, so the threads end together.
            for (uint32_t j = next++; j <= max_m; j = next++) {
                part(max_m + 1u - j, tallies[i]);
            }
        });
    }
    for (auto &th : pool) {
        th.join();
    }
    tally sum;
    for (const auto &t : tallies) {
        sum.cases += t.cases;
        sum.bad += t.bad;
    }
    return sum;
}

struct part {
    const char *name;
    void (*check)(uint32_t m, tally &t);
};

// Arguments: threads (1), largest m (65535; smaller for a quick look). Prints
// each part's cases, differences and time; exits 1 on any difference.
template <size_t N> int main_of(int argc, char **argv, const part (&parts)[N]) {
    const unsigned threads = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 1u;
    const long max_arg = argc > 2 ? std::atol(argv[2]) : 65535;
    const uint32_t max_m =
        max_arg >= 1 && max_arg <= 65535 ? static_cast<uint32_t>(max_arg) : 65535u;
    uint64_t bad = 0;
    for (const part &p : parts) {
        const auto start = std::chrono::steady_clock::now();
        const tally t = run(threads < 1 ? 1 : threads, max_m, p.check);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-22s m <= %5u: %14llu cases, %llu differences, %.1f s\n", p.name, max_m,
                    static_cast<unsigned long long>(t.cases),
                    static_cast<unsigned long long>(t.bad), seconds);
        std::fflush(stdout);
        bad += t.bad;
    }
    return bad == 0 ? 0 : 1;
}

} // namespace exhaustive

#endif
