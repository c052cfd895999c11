// lampsim: the lamp's module driven by a scenario, on the simulated board, on
// the Cortex-M0 firmware under QEMU, or on a board over its serial port.
#include "cli.h"
#include "native_boards.h"

#include <string>
#include <vector>

int main(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    lampsim::native_boards boards;
    return lampsim::run_command_line(args, {stdin, stdout, stderr, &boards});
}
