#include "link_budget.h"

#include "link.h"

#include <cstddef>

namespace lampsim {

uint64_t wire_bytes(uint64_t payload) {
    const uint64_t frames = (payload + link::max_payload - 1) / link::max_payload;
    // Each: head, checksum, one COBS code byte (a body under 254 bytes), the zero.
    return payload + frames * (link::head_size + link::check_size + 2);
}

void link_meter::add(uint64_t t_us, uint32_t bytes) {
    if (!groups_.empty() && t_us <= groups_.back().t_us) {
        groups_.back().bytes += bytes; // times never go back; the same microsecond joins
        return;
    }
    groups_.push_back({t_us, bytes});
}

namespace {

// Whether `bytes_per_s` drains the frames fast enough that the board's
// buffer never overflows and no byte waits more than a second.
template <typename G> bool keeps_up(const G &groups, double bytes_per_s, double buffer) {
    const double limit = bytes_per_s < buffer ? bytes_per_s : buffer;
    double waiting = 0;
    uint64_t last = 0;
    for (const auto &g : groups) {
        const double drained = bytes_per_s * static_cast<double>(g.t_us - last) / 1e6;
        waiting = waiting > drained ? waiting - drained : 0;
        waiting += static_cast<double>(wire_bytes(g.bytes));
        if (waiting > limit) {
            return false;
        }
        last = g.t_us;
    }
    return true;
}

} // namespace

link_need link_meter::need(uint32_t buffer) const {
    link_need n;
    std::size_t from = 0;
    uint64_t in_window = 0;
    for (std::size_t i = 0; i < groups_.size(); ++i) {
        const uint64_t w = wire_bytes(groups_[i].bytes);
        n.total_bytes += w;
        n.largest_burst = w > n.largest_burst ? w : n.largest_burst;
        in_window += w;
        while (groups_[i].t_us - groups_[from].t_us >= 1000000u) {
            in_window -= wire_bytes(groups_[from].bytes);
            ++from;
        }
        if (in_window > n.densest_bytes) {
            n.densest_bytes = in_window;
            n.densest_from_us = groups_[from].t_us;
        }
    }
    if (n.largest_burst > buffer) {
        return n;
    }
    uint64_t low = 0;          // too slow
    uint64_t high = 100000000; // bytes per second: far beyond any serial line
    if (!keeps_up(groups_, static_cast<double>(high), buffer)) {
        return n;
    }
    while (high - low > 1) {
        const uint64_t mid = low + (high - low) / 2;
        if (keeps_up(groups_, static_cast<double>(mid), buffer)) {
            high = mid;
        } else {
            low = mid;
        }
    }
    n.min_baud = high * 10;
    return n;
}

} // namespace lampsim
