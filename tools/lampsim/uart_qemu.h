#pragma once
// The serial player image under QEMU's micro:bit, its UART on a local socket
// that lampsim connects to: what --board m0 --link uart talks to as it would
// to a board's serial device. QEMU waits for lampsim before the chip starts,
// so no byte is lost.
#include "serial_link.h"

#include <sys/types.h>

#include <string>

namespace lampsim {

class uart_qemu {
  public:
    uart_qemu() = default;
    uart_qemu(const uart_qemu &) = delete;
    uart_qemu &operator=(const uart_qemu &) = delete;
    ~uart_qemu() { stop(); }

    // Starts QEMU and connects `line` to the chip's UART; false, with the
    // reason, when that failed.
    bool start(const std::string &qemu, const std::string &firmware, serial_link &line,
               std::string &error);
    // What QEMU printed beyond its usual lines, for a message.
    std::string said();
    // Ends the emulation; what QEMU printed.
    std::string stop();

  private:
    void drain(int timeout_ms);

    pid_t pid_ = -1;
    int out_fd_ = -1;
    std::string dir_;
    std::string socket_;
    std::string said_;
};

} // namespace lampsim
