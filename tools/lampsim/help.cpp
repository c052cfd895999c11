#include "help.h"

#include "commands.h"

namespace lampsim {
std::string usage_line(const command_spec &c) {
    std::string u = c.name;
    if (c.or_none) {
        u += " none|";
    }
    for (uint8_t i = 0; i < c.arg_count; ++i) {
        u += (c.or_none && i == 0) ? "" : " ";
        if (c.args[i].key != nullptr) {
            u += std::string(c.args[i].key) + "=";
        }
        u += c.args[i].form;
    }
    return u;
}

namespace {

std::string c_types(const command_spec &c) {
    std::string t;
    for (uint8_t i = 0; i < c.arg_count; ++i) {
        t += (i == 0 ? "" : ", ") + std::string(c.args[i].type->c_type);
    }
    return t;
}

std::string escape_bars(const std::string &s) {
    std::string out;
    for (char ch : s) {
        out += ch == '|' ? "\\|" : std::string(1, ch);
    }
    return out;
}

} // namespace

std::string help_text() {
    std::string h =
        "usage: lampsim [SCENARIO|-] [options]\n"
        "       lampsim --port DEVICE [--baud N] SCENARIO...\n"
        "Runs the lamp's module on a simulated board (or the Cortex-M0 firmware under QEMU,\n"
        "or a board on a serial port) from a scenario file and shows what the two channels do.\n"
        "Without SCENARIO: the built-in demonstration, into out/demo.csv, out/demo.vcd, "
        "out/demo.svg.\n"
        "\n"
        "options:\n"
        "  --csv FILE        every output update, the supply, the switch and the mode\n"
        "  --vcd FILE        Value Change Dump for a waveform viewer\n"
        "  --plot FILE       SVG chart\n"
        "  --trace FILE      the run's events, one a line (the same on both boards)\n"
        "  --flash FILE      the store's flash: loaded at the start (erased if missing), saved "
        "at the end\n"
        "  --board host|m0   where the module runs: the simulated board (default), or the\n"
        "                    Cortex-M0 firmware under qemu-system-arm\n"
        "  --firmware FILE   the player image for --board m0 (default: the m0 preset's build)\n"
        "  --link uart       with --board m0: over the chip's UART, as --port (default:\n"
        "                    semihosting, every PWM write)\n"
        "  --port DEVICE     play on the board's serial player at DEVICE: fades come back as\n"
        "                    digests, expectations judged on the board, everything compared\n"
        "                    with the host board's run; several scenario files in turn\n"
        "  --baud N          the serial link's rate (default 115200); a scenario that needs\n"
        "                    more is refused, naming the rate it needs\n"
        "  --timeout S       seconds of silence from the board that end the run (default 10)\n"
        "  --change-write N, --damage-frame corrupt|truncate, --fault-board\n"
        "                    self-checks: the board changes PWM write N; lampsim damages its\n"
        "                    first table frame; the board faults as the run starts (each\n"
        "                    must fail the run)\n"
        "  --real-pace       with --board m0: QEMU at the chip's pace; fails when thread mode\n"
        "                    starves or the dispatcher falls behind (no output files)\n"
        "  --quiet           no timeline on stdout\n"
        "  --print-demo      print the demonstration's scenario\n"
        "  --commands-table  print the command table of docs/lampsim.md\n"
        "  --help, --version\n"
        "\n"
        "A line: [TIME] COMMAND [ARGUMENTS]   TIME: 1.5s, 250ms, 300us, or +TIME after the\n"
        "previous line; without one, the previous line's time. # starts a comment.\n"
        "Exit status: 0 run and expectations met, 1 an expectation failed, an output could\n"
        "not be written or the board's run failed or differed from the host board's, 2 a\n"
        "wrong line or option, or a run refused (nothing runs).\n"
        "\ncommands:\n";
    for (uint8_t i = 0; i < command_count; ++i) {
        const command_spec &c = command_table[i];
        if (c.kind == step_kind::expect && command_table[i - 1].kind != step_kind::expect) {
            h += "\nexpectations (checked at the line's time; a failure is reported, the run goes "
                 "on):\n";
        }
        std::string u = usage_line(c);
        u.resize(u.size() < 40 ? 40 : u.size(), ' ');
        h += "  " + u + "  " + c.does + "\n";
    }
    return h;
}

std::string commands_markdown() {
    std::string m = "| command | arguments (C type) | what it does |\n|---|---|---|\n";
    for (uint8_t i = 0; i < command_count; ++i) {
        const command_spec &c = command_table[i];
        m += "| `" + escape_bars(usage_line(c)) + "` | " + escape_bars(c_types(c)) + " | " +
             escape_bars(c.does) + " |\n";
    }
    return m;
}

} // namespace lampsim
