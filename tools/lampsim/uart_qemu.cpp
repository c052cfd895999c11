#include "uart_qemu.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lampsim {

bool uart_qemu::start(const std::string &qemu, const std::string &firmware, serial_link &line,
                      std::string &error) {
    const char *tmp = std::getenv("TMPDIR");
    dir_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/lampsim-uart.XXXXXX";
    if (mkdtemp(dir_.data()) == nullptr) {
        error = "cannot make a work directory in " + dir_ + ": " + std::strerror(errno);
        dir_.clear();
        return false;
    }
    socket_ = dir_ + "/uart";
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        error = std::string("cannot start ") + qemu + ": " + std::strerror(errno);
        return false;
    }
    const std::string chardev = "socket,id=uart,path=" + socket_ + ",server=on,wait=on";
    const char *argv[] = {qemu.c_str(), "-M", "microbit", "-display", "none", "-monitor", "none",
                          "-chardev", chardev.c_str(), "-serial", "chardev:uart",
                          // Virtual time from the instruction count, as --board m0.
                          "-icount", "shift=0,sleep=off", "-kernel", firmware.c_str(), nullptr};
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        execv(argv[0], const_cast<char *const *>(argv));
        _exit(127);
    }
    close(out[1]);
    out_fd_ = out[0];
    if (pid_ < 0) {
        error = std::string("cannot start ") + qemu + ": " + std::strerror(errno);
        return false;
    }
    // QEMU listens on the socket, and starts the chip once lampsim is there.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string why;
    while (std::chrono::steady_clock::now() < deadline) {
        if (access(socket_.c_str(), F_OK) == 0 && line.open_socket(socket_, why)) {
            return true;
        }
        drain(20);
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
    }
    error = "QEMU did not offer the board's UART (" + why + "): " + stop();
    return false;
}

void uart_qemu::drain(int timeout_ms) {
    if (out_fd_ < 0) {
        return;
    }
    pollfd p{out_fd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) {
        return;
    }
    char buf[512];
    const ssize_t n = read(out_fd_, buf, sizeof buf);
    if (n > 0) {
        said_.append(buf, static_cast<size_t>(n));
    }
}

std::string uart_qemu::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    std::string text = said();
    if (out_fd_ >= 0) {
        close(out_fd_);
        out_fd_ = -1;
    }
    if (!dir_.empty()) {
        (void)std::remove(socket_.c_str());
        (void)rmdir(dir_.c_str());
        dir_.clear();
    }
    return text;
}

std::string uart_qemu::said() {
    drain(0);
    // What QEMU says on every run is no news.
    std::string text;
    size_t from = 0;
    while (from < said_.size()) {
        const size_t nl = said_.find('\n', from);
        const std::string line = said_.substr(from, nl - from);
        from = nl == std::string::npos ? said_.size() : nl + 1;
        if (!line.empty() && line.find("waiting for connection") == std::string::npos &&
            line.find("icount sleep disabled") == std::string::npos &&
            line.find("terminating on signal") == std::string::npos) {
            text += (text.empty() ? "" : "; ") + line;
        }
    }
    return text;
}

} // namespace lampsim
