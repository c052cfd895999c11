#pragma once
// The outputs over a stretch of time, as a chart draws it: for each channel
// the lowest, highest and last value of the updates in it, so that no step is
// lost from sight however many share the stretch.
#include <algorithm>
#include <cstdint>

namespace lampsim {

struct output_column {
    uint64_t t_us; // where the stretch starts
    uint16_t low[2], high[2], last[2];

    static output_column at(uint64_t t_us, uint16_t channel0, uint16_t channel1) {
        return {t_us, {channel0, channel1}, {channel0, channel1}, {channel0, channel1}};
    }
    // A later update, or a later column, within the same stretch.
    void take(const output_column &later) {
        for (int i = 0; i < 2; ++i) {
            low[i] = std::min(low[i], later.low[i]);
            high[i] = std::max(high[i], later.high[i]);
            last[i] = later.last[i];
        }
    }
};

} // namespace lampsim
