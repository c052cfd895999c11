#include "staged_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace lampsim {
namespace {

std::string directory_of(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What the failing call left in errno, or a plain word if it left nothing.
std::string reason(int error) {
    return error != 0 ? std::strerror(error) : "write error";
}

mode_t new_file_mode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

} // namespace

staged_file::~staged_file() {
    discard();
}

void staged_file::discard() {
    if (file_ != nullptr) {
        (void)std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        (void)std::remove(temp_.c_str());
        temp_.clear();
    }
}

std::string staged_file::open(const std::string &path) {
    discard();
    target_ = path;
    device_ = false;
    mode_t mode = new_file_mode();
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return "it is a directory";
        }
        if (access(path.c_str(), W_OK) != 0) {
            return reason(errno);
        }
        if (!S_ISREG(st.st_mode)) {
            device_ = true;
            errno = 0;
            file_ = std::tmpfile();
            return file_ != nullptr ? "" : reason(errno);
        }
        // Through symbolic links: the link stays, the file it names is replaced.
        char *real = realpath(path.c_str(), nullptr);
        if (real != nullptr) {
            target_ = real;
            std::free(real);
        }
        mode = st.st_mode & 07777;
    }
    std::string temp = directory_of(target_) + "/." + base_of(target_) + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        return reason(errno);
    }
    temp_ = temp;
    if (fchmod(fd, mode) != 0) {
        const int error = errno;
        (void)close(fd);
        discard();
        return reason(error);
    }
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
        const int error = errno;
        (void)close(fd);
        discard();
        return reason(error);
    }
    return "";
}

std::string staged_file::finish() {
    errno = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_) != 0) {
        return reason(errno);
    }
    // On the disk before the rename, so a crash leaves the old file or the new.
    if (!device_ && fsync(fileno(file_)) != 0) {
        return reason(errno);
    }
    return "";
}

std::string staged_file::commit() {
    errno = 0;
    if (device_) {
        std::FILE *out = std::fopen(target_.c_str(), "wb");
        if (out == nullptr) {
            return reason(errno);
        }
        std::rewind(file_);
        char buf[65536];
        size_t n = 0;
        bool ok = true;
        while (ok && (n = std::fread(buf, 1, sizeof buf, file_)) != 0) {
            ok = std::fwrite(buf, 1, n, out) == n;
        }
        ok = ok && std::ferror(file_) == 0;
        const int error = errno;
        ok = std::fclose(out) == 0 && ok;
        discard();
        return ok ? "" : reason(error != 0 ? error : errno);
    }
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0 || std::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        discard();
        return reason(error);
    }
    temp_.clear();
    return "";
}

} // namespace lampsim
