#pragma once
// lampsim's end of the serial link: a serial device set raw, 8 data bits, no
// parity, one stop bit, no flow control, at the link's rate; or the socket of
// an emulated board's UART, which carries the same bytes.
#include <cstdint>
#include <string>
#include <vector>

namespace lampsim {

class serial_link {
  public:
    serial_link() = default;
    serial_link(const serial_link &) = delete;
    serial_link &operator=(const serial_link &) = delete;
    ~serial_link();

    // false, with the reason, when the device cannot be opened and set so. A
    // local socket (an emulator's serial port) is connected to as it is.
    bool open(const std::string &device, uint32_t baud, std::string &error);
    // The UART of QEMU's board on a local socket (QEMU listening there).
    bool open_socket(const std::string &path, std::string &error);
    bool write_all(const uint8_t *bytes, size_t len, std::string &error);
    // Waits up to timeout_ms for bytes and appends those that came (none on a
    // timeout); false, with the reason, when the line failed or closed.
    bool read_some(std::vector<uint8_t> &out, int timeout_ms, std::string &error);
    const std::string &device() const { return device_; }

  private:
    int fd_ = -1;
    bool socket_ = false;
    std::string device_;
};

// Whether the host's serial driver takes this rate; "" when it does, else
// the rates it takes.
std::string unsupported_baud(uint32_t baud);

} // namespace lampsim
