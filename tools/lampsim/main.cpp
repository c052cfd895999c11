// lampsim: the lamp's module driven by a scenario, on the simulated board or
// on the Cortex-M0 firmware under QEMU.
#include "cli.h"
#include "m0_run.h"

#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

std::string m0_unusable(const lampsim::m0_options &o) {
    if (lampsim::find_program(o.qemu).empty()) {
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

const lampsim::m0_board qemu_microbit = {m0_unusable, lampsim::run_on_m0};

} // namespace

int main(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return lampsim::run_command_line(args, {stdin, stdout, stderr, &qemu_microbit});
}
