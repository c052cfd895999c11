#pragma once
// What a run asks of the serial link: the bytes the board sends for its event
// records, framed as the serial player frames them (the records of one
// microsecond in one frame), and the slowest line that carries them in real
// time. A computed figure: QEMU's UART sends at no rate at all, and a board's
// thread mode may pack more records in a frame (fewer bytes), never fewer.
#include <cstdint>
#include <vector>

namespace lampsim {

struct link_need {
    uint64_t total_bytes = 0;
    uint64_t densest_bytes = 0;   // in the busiest second of the run
    uint64_t densest_from_us = 0; // where that second starts
    uint64_t largest_burst = 0;   // on one microsecond
    // The lowest rate (bits per second, 10 bits a byte: start, 8 data, stop)
    // at which the board's buffer never overflows and no event waits on the
    // board for more than a second; 0 when no rate will do (a burst larger
    // than the buffer).
    uint64_t min_baud = 0;
};

class link_meter {
  public:
    // An event record of `bytes` at scenario time t_us, in stream order.
    void add(uint64_t t_us, uint32_t bytes);
    // With a board that buffers `buffer` bytes of events.
    link_need need(uint32_t buffer) const;

  private:
    struct group {
        uint64_t t_us;
        uint64_t bytes; // of records
    };
    std::vector<group> groups_;
};

// Wire bytes of a frame group's `payload` bytes of records.
uint64_t wire_bytes(uint64_t payload);

} // namespace lampsim
