#include "m0_run.h"

#include "table.h"

#include "flash.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace lampsim {
namespace {

std::vector<uint8_t> encode_table(const scenario &s, const m0_options &o) {
    std::vector<uint8_t> out(table::header_size);
    for (unsigned i = 0; i < sizeof table::magic; ++i) {
        out[i] = table::magic[i];
    }
    const uint32_t flags = (o.image_in != nullptr ? table::flag_image_in : 0u) |
                           (o.image_out ? table::flag_image_out : 0u) |
                           (o.real_pace ? table::flag_no_pwm : 0u);
    table::put_le(&out[8], s.steps.size(), 4);
    table::put_le(&out[12], flags, 4);
    // NOLINTNEXTLINE(bugprone-implicit-widening-of-multiplication-result): 6 * 1024, a constant
    table::put_le(&out[16], FLASH_DATA_SIZE, 4);
    if (o.image_in != nullptr) {
        out.insert(out.end(), o.image_in->begin(), o.image_in->end());
    }
    for (const step &st : s.steps) {
        uint8_t raw[table::step_size];
        table::put_step(raw, st);
        out.insert(out.end(), raw, raw + sizeof raw);
    }
    return out;
}

bool is_file(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string absolute(const std::string &path) {
    char *real = realpath(path.c_str(), nullptr);
    std::string out = real != nullptr ? real : path;
    std::free(real);
    return out;
}

} // namespace

std::string find_program(const std::string &name) {
    if (name.find('/') != std::string::npos) {
        return access(name.c_str(), X_OK) == 0 && is_file(name) ? name : "";
    }
    const char *path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    size_t from = 0;
    while (from <= dirs.size()) {
        const size_t colon = dirs.find(':', from);
        const std::string dir =
            dirs.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0 && is_file(candidate)) {
            return candidate;
        }
        if (colon == std::string::npos) {
            break;
        }
        from = colon + 1;
    }
    return "";
}

bool run_on_m0(const scenario &s, const m0_options &o, events &out, stream_extras &extras,
               std::string &error) {
    if (!is_file(o.firmware) || access(o.firmware.c_str(), R_OK) != 0) {
        error = "no firmware image at " + o.firmware +
                ": build it with the m0 preset (cmake --preset m0 && cmake --build --preset m0), "
                "or name one with --firmware FILE";
        return false;
    }
    const std::string qemu = find_program(o.qemu);
    if (qemu.empty()) {
        error = "--board m0 runs the firmware under " + o.qemu +
                ", which was not found (Debian package qemu-system-arm)";
        return false;
    }
    const char *tmp = std::getenv("TMPDIR");
    std::string dir =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/lampsim-m0.XXXXXX";
    if (mkdtemp(dir.data()) == nullptr) {
        error = "cannot make a work directory in " + dir + ": " + std::strerror(errno);
        return false;
    }
    const std::string table_path = dir + "/" + table::table_file;
    const std::string trace_path = dir + "/" + table::trace_file;
    const std::vector<uint8_t> table_bytes = encode_table(s, o);
    bool ok = true;
    {
        std::ofstream f(table_path, std::ios::binary);
        f.write(reinterpret_cast<const char *>(table_bytes.data()),
                static_cast<std::streamsize>(table_bytes.size()));
        ok = static_cast<bool>(f);
    }
    int status = -1;
    if (!ok) {
        error = "cannot write " + table_path;
    } else {
        const std::string firmware = absolute(o.firmware);
        // Virtual time from the instruction count: the run is the same
        // whatever the machine's load.
        const std::string icount =
            "shift=" + std::to_string(o.real_pace ? real_pace_shift : 0) + ",sleep=off";
        const char *argv[] = {qemu.c_str(),
                              "-M",
                              "microbit",
                              "-display",
                              "none",
                              "-monitor",
                              "none",
                              "-serial",
                              "none",
                              "-semihosting-config",
                              "enable=on,target=native",
                              "-icount",
                              icount.c_str(),
                              "-kernel",
                              firmware.c_str(),
                              nullptr};
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir.c_str()) != 0) {
                _exit(127);
            }
            execv(argv[0], const_cast<char *const *>(argv));
            _exit(127);
        }
        if (pid < 0 || waitpid(pid, &status, 0) != pid) {
            error = std::string("cannot run ") + qemu + ": " + std::strerror(errno);
            ok = false;
        } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            error = "the firmware under " + qemu + " stopped with " +
                    (WIFEXITED(status) ? "status " + std::to_string(WEXITSTATUS(status))
                                       : std::string("a signal")) +
                    " (3: a fault on the chip, 4: the player refused its table, 127: qemu did "
                    "not start)";
            ok = false;
        }
    }
    std::vector<uint8_t> trace;
    if (ok) {
        std::ifstream f(trace_path, std::ios::binary);
        trace.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    if (std::getenv("LAMPSIM_KEEP_WORKDIR") != nullptr) {
        (void)std::fprintf(stderr, "lampsim: the chip's files are kept in %s\n", dir.c_str());
    } else {
        (void)std::remove(table_path.c_str());
        (void)std::remove(trace_path.c_str());
        rmdir(dir.c_str());
    }
    if (!ok) {
        return false;
    }
    std::string why;
    if (!decode_stream(trace, s.steps.size(), out, extras, why)) {
        error = "the firmware's trace is broken: " + why;
        return false;
    }
    if (!extras.ended) {
        error = "the firmware's trace stops before the end of the run";
        return false;
    }
    return true;
}

} // namespace lampsim
