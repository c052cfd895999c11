#include "serial_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lampsim {
namespace {

struct rate {
    uint32_t baud;
    speed_t code;
};

const rate rates[] = {
    {1200, B1200},     {2400, B2400},       {4800, B4800},       {9600, B9600},
    {19200, B19200},   {38400, B38400},     {57600, B57600},     {115200, B115200},
    {230400, B230400}, {460800, B460800},   {500000, B500000},   {576000, B576000},
    {921600, B921600}, {1000000, B1000000}, {1500000, B1500000}, {2000000, B2000000},
};

bool speed_of(uint32_t baud, speed_t &code) {
    for (const rate &r : rates) {
        if (r.baud == baud) {
            code = r.code;
            return true;
        }
    }
    return false;
}

} // namespace

std::string unsupported_baud(uint32_t baud) {
    speed_t code = 0;
    if (speed_of(baud, code)) {
        return "";
    }
    std::string list;
    for (const rate &r : rates) {
        list += (list.empty() ? "" : ", ") + std::to_string(r.baud);
    }
    return list;
}

serial_link::~serial_link() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool serial_link::open(const std::string &device, uint32_t baud, std::string &error) {
    struct stat st {};
    if (stat(device.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
        return open_socket(device, error); // an emulator's serial port
    }
    speed_t speed = 0;
    if (!speed_of(baud, speed)) {
        error = "--baud " + std::to_string(baud) + " is not a rate the serial driver takes (" +
                unsupported_baud(baud) + ")";
        return false;
    }
    device_ = device;
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = "cannot open " + device + ": " + std::strerror(errno);
        return false;
    }
    termios tty{};
    if (tcgetattr(fd_, &tty) != 0) {
        error = device + " is not a serial device: " + std::strerror(errno);
        return false;
    }
    cfmakeraw(&tty);
    tty.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    tty.c_cflag |= CLOCAL | CREAD;
    tty.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tty.c_cc[VMIN] = 0;
    tty.c_cc[VTIME] = 0;
    if (cfsetispeed(&tty, speed) != 0 || cfsetospeed(&tty, speed) != 0 ||
        tcsetattr(fd_, TCSANOW, &tty) != 0) {
        error = "cannot set " + device + " to " + std::to_string(baud) +
                " baud, raw: " + std::strerror(errno);
        return false;
    }
    // What the line held before this run is not part of it.
    tcflush(fd_, TCIOFLUSH);
    return true;
}

bool serial_link::open_socket(const std::string &path, std::string &error) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        error = "the socket path " + path + " is too long";
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    device_ = path;
    socket_ = true;
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 ||
        connect(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        fcntl(fd_, F_SETFL, O_NONBLOCK) != 0) {
        error = "cannot connect to " + path + ": " + std::strerror(errno);
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
        return false;
    }
    return true;
}

bool serial_link::write_all(const uint8_t *bytes, size_t len, std::string &error) {
    size_t at = 0;
    while (at < len) {
        // A socket whose other end is gone is an error here, not a signal.
        const ssize_t n = socket_ ? ::send(fd_, bytes + at, len - at, MSG_NOSIGNAL)
                                  : ::write(fd_, bytes + at, len - at);
        if (n > 0) {
            at += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            error = "cannot write to " + device_ + ": " + std::strerror(errno);
            return false;
        }
        pollfd p{fd_, POLLOUT, 0};
        if (poll(&p, 1, 1000) < 0 && errno != EINTR) {
            error = "cannot write to " + device_ + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool serial_link::read_some(std::vector<uint8_t> &out, int timeout_ms, std::string &error) {
    pollfd p{fd_, POLLIN, 0};
    const int ready = poll(&p, 1, timeout_ms);
    if (ready < 0) {
        if (errno == EINTR) {
            return true;
        }
        error = "cannot read " + device_ + ": " + std::strerror(errno);
        return false;
    }
    if (ready == 0) {
        return true;
    }
    uint8_t buf[4096];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n > 0) {
        out.insert(out.end(), buf, buf + n);
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return true;
    }
    error = device_ + (n == 0 ? " closed" : std::string(": ") + std::strerror(errno)) +
            ": the board is gone";
    return false;
}

} // namespace lampsim
