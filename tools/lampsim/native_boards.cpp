#include "native_boards.h"

#include <sys/stat.h>

namespace lampsim {

std::string native_boards::m0_unusable(const m0_options &o) {
    if (find_program(o.qemu).empty()) {
        return "--board m0 runs the firmware under " + o.qemu +
               ", which was not found (Debian package qemu-system-arm)";
    }
    struct stat st {};
    if (stat(o.firmware.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return "no firmware image at " + o.firmware +
               ": build it with the m0 preset (cmake --preset m0 && cmake --build --preset m0), "
               "or name one with --firmware FILE";
    }
    return "";
}

bool native_boards::run_m0(const scenario &s, const m0_options &options, events &out,
                           stream_extras &extras, std::string &error) {
    return run_on_m0(s, options, out, extras, error);
}

int native_boards::run_serial(const scenario &s, const serial_target &where, const port_options &o,
                              events &out, stream_extras &extras, link_need &need,
                              std::string &error) {
    if (!open_) {
        const bool opened = where.emulated ? qemu_.start(where.qemu, where.firmware, line_, error)
                                           : line_.open(where.device, o.baud, error);
        if (!opened) {
            return 2;
        }
        open_ = true;
    }
    const int status = run_on_port(s, line_, o, out, extras, need, error);
    if (status == 1 && where.emulated) {
        const std::string said = qemu_.said();
        error += said.empty() ? "" : " (QEMU: " + said + ")";
    }
    return status;
}

} // namespace lampsim
