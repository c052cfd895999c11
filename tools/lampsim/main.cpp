// lampsim: the lamp's module driven by a scenario, on the simulated board or
// on the Cortex-M0 firmware under QEMU.
#include "csv_writer.h"
#include "demo_scenario.h"
#include "help.h"
#include "host_run.h"
#include "m0_run.h"
#include "recorder.h"
#include "scenario.h"
#include "staged_file.h"
#include "svg_chart.h"
#include "timeline.h"
#include "trace_text.h"
#include "vcd_writer.h"

#include "flash.h"
#include "flash_host.h"
#include "nvm_data_mgmt.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

namespace {

struct options {
    std::string scenario_path; // empty: the demonstration
    std::string csv, vcd, plot, trace, flash;
    std::string board = "host";
    std::string firmware = LAMPSIM_DEFAULT_FIRMWARE;
    bool quiet = false;
    bool print_demo = false, commands_table = false, help = false, version = false;
};

int fail(std::FILE *err, const std::string &message, int status) {
    std::fprintf(err, "lampsim: %s\n", message.c_str());
    return status;
}

// What a path names, for a scenario path that is not a regular file.
const char *kind_of(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

std::string read_all(std::FILE *in, std::string &text) {
    char buf[65536];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, in)) != 0) {
        text.append(buf, n);
    }
    return std::ferror(in) != 0 ? std::strerror(errno) : "";
}

// "" with the scenario's text, or why it cannot be read.
std::string read_scenario(const std::string &path, std::FILE *stdin_file, std::string &text) {
    if (path == "-") {
        return read_all(stdin_file, text);
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return std::strerror(errno);
    }
    if (!S_ISREG(st.st_mode)) {
        return std::string("it is ") + kind_of(st.st_mode) + ", not a scenario file";
    }
    std::FILE *in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        return std::strerror(errno);
    }
    text.reserve(static_cast<size_t>(st.st_size));
    const std::string why = read_all(in, text);
    (void)std::fclose(in);
    return why;
}

// "" when the options are sound, else what is wrong.
std::string parse_options(int argc, char **argv, options &o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        std::string *value = nullptr;
        if (a == "--csv") {
            value = &o.csv;
        } else if (a == "--vcd") {
            value = &o.vcd;
        } else if (a == "--plot") {
            value = &o.plot;
        } else if (a == "--trace") {
            value = &o.trace;
        } else if (a == "--flash") {
            value = &o.flash;
        } else if (a == "--board") {
            value = &o.board;
        } else if (a == "--firmware") {
            value = &o.firmware;
        } else if (a == "--quiet") {
            o.quiet = true;
            continue;
        } else if (a == "--print-demo") {
            o.print_demo = true;
            continue;
        } else if (a == "--commands-table") {
            o.commands_table = true;
            continue;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
            continue;
        } else if (a == "--version") {
            o.version = true;
            continue;
        } else if (a.size() > 1 && a[0] == '-') {
            return "unknown option " + lampsim::quote(a) + " (lampsim --help lists them)";
        } else if (o.scenario_path.empty()) {
            o.scenario_path = a;
            continue;
        } else {
            return "one scenario at a time (" + lampsim::quote(o.scenario_path) + " and " +
                   lampsim::quote(a) + " given)";
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0') {
            return a + " needs a value";
        }
        *value = argv[++i];
    }
    if (o.board != "host" && o.board != "m0") {
        return "--board " + lampsim::quote(o.board) + " is not a board: host or m0";
    }
    return "";
}

// Two names of one file give the same identity, whether it exists or not.
std::string file_identity(const std::string &path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    }
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    char *real = realpath(dir.c_str(), nullptr);
    const std::string id = (real != nullptr ? std::string(real) : dir) + "/" +
                           (slash == std::string::npos ? path : path.substr(slash + 1));
    std::free(real);
    return id;
}

// "" when the files named can all be used as asked, else what is wrong.
std::string check_files(const options &o) {
    struct named {
        const char *option;
        const std::string &path;
    } files[] = {{"the scenario", o.scenario_path},
                 {"--csv", o.csv},
                 {"--vcd", o.vcd},
                 {"--plot", o.plot},
                 {"--trace", o.trace},
                 {"--flash", o.flash}};
    for (size_t i = 0; i < sizeof files / sizeof files[0]; ++i) {
        for (size_t j = i + 1; j < sizeof files / sizeof files[0]; ++j) {
            if (!files[i].path.empty() && !files[j].path.empty() && files[i].path != "-" &&
                file_identity(files[i].path) == file_identity(files[j].path)) {
                return std::string(files[i].option) + " and " + files[j].option +
                       " name the same file " + lampsim::quote(files[j].path);
            }
        }
    }
    if (o.flash.empty()) {
        return "";
    }
    struct stat st {};
    if (stat(o.flash.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            return "--flash " + lampsim::quote(o.flash) + ": " + std::strerror(errno);
        }
        return ""; // made at the end, from an erased flash
    }
    if (!S_ISREG(st.st_mode)) {
        return "--flash " + lampsim::quote(o.flash) + " is not a regular file";
    }
    if (static_cast<uint64_t>(st.st_size) != FLASH_DATA_SIZE) {
        return "--flash " + lampsim::quote(o.flash) + " holds " + std::to_string(st.st_size) +
               " bytes: a flash image of this lamp holds " + std::to_string(FLASH_DATA_SIZE);
    }
    if (access(o.flash.c_str(), R_OK | W_OK) != 0) {
        return "--flash " + lampsim::quote(o.flash) +
               " cannot be read and written: " + std::strerror(errno);
    }
    return "";
}

bool read_image(const std::string &path, std::vector<uint8_t> &image) {
    std::ifstream in(path, std::ios::binary);
    image.assign(FLASH_DATA_SIZE, 0xFF);
    in.read(reinterpret_cast<char *>(image.data()), static_cast<std::streamsize>(image.size()));
    return in.gcount() == static_cast<std::streamsize>(image.size());
}

// What `lampsim ARGS` prints on out and err and writes, with its exit status;
// `-` as the scenario reads `in`.
int run_command_line(int argc, char **argv, std::FILE *in, std::FILE *out, std::FILE *err) {
    options o;
    const std::string wrong = parse_options(argc, argv, o);
    if (!wrong.empty()) {
        return fail(err, wrong, 2);
    }
    if (o.help) {
        std::fputs(lampsim::help_text().c_str(), out);
        return 0;
    }
    if (o.version) {
        std::fprintf(out, "lampsim %s\n", LAMPSIM_VERSION);
        return 0;
    }
    if (o.print_demo) {
        std::fputs(lampsim::demo_scenario, out);
        return 0;
    }
    if (o.commands_table) {
        std::fputs(lampsim::commands_markdown().c_str(), out);
        return 0;
    }

    std::string text = lampsim::demo_scenario;
    std::string name = "demo";
    if (o.scenario_path.empty()) {
        mkdir("out", 0777);
        o.csv = o.csv.empty() ? "out/demo.csv" : o.csv;
        o.vcd = o.vcd.empty() ? "out/demo.vcd" : o.vcd;
        o.plot = o.plot.empty() ? "out/demo.svg" : o.plot;
    } else {
        name = o.scenario_path == "-" ? "<stdin>" : o.scenario_path;
        text.clear();
        const std::string why = read_scenario(o.scenario_path, in, text);
        if (!why.empty()) {
            return fail(err, "cannot read " + lampsim::quote(o.scenario_path) + ": " + why, 2);
        }
    }

    // Everything is checked before anything runs or is written.
    const lampsim::parse_result parsed = lampsim::parse_scenario(text, name);
    text.clear();
    text.shrink_to_fit();
    if (!parsed.ok) {
        std::fprintf(err, "%s\n", parsed.error.c_str());
        return 2;
    }
    const std::string unusable = check_files(o);
    if (!unusable.empty()) {
        return fail(err, unusable, 2);
    }
    std::vector<uint8_t> image;
    const bool has_image = !o.flash.empty() && access(o.flash.c_str(), F_OK) == 0;
    if (has_image && !read_image(o.flash, image)) {
        return fail(err, "cannot read --flash " + lampsim::quote(o.flash), 2);
    }
    const bool m0 = o.board == "m0";
    lampsim::m0_options target;
    if (m0) {
        target.firmware = o.firmware;
        target.qemu = LAMPSIM_QEMU;
        target.image_in = has_image ? &image : nullptr;
        target.image_out = !o.flash.empty();
        if (lampsim::find_program(target.qemu).empty()) {
            return fail(err,
                        "--board m0 runs the firmware under " + target.qemu +
                            ", which was not found (Debian package qemu-system-arm)",
                        2);
        }
        struct stat st {};
        if (stat(target.firmware.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return fail(err,
                        "no firmware image at " + target.firmware +
                            ": build it with the m0 preset (cmake --preset m0 && cmake --build "
                            "--preset m0), or name one with --firmware FILE",
                        2);
        }
    }

    // Every output is staged beside its file and put in place only when the
    // run has written it whole: a run that stops early leaves the files as
    // they were.
    enum { csv, vcd, plot, trace, flash, output_count };
    const struct {
        const char *option;
        const std::string &path;
    } outputs[output_count] = {{"--csv", o.csv},
                               {"--vcd", o.vcd},
                               {"--plot", o.plot},
                               {"--trace", o.trace},
                               {"--flash", o.flash}};
    lampsim::staged_file staged[output_count];
    for (int i = 0; i < output_count; ++i) {
        if (outputs[i].path.empty()) {
            continue;
        }
        const std::string why = staged[i].open(outputs[i].path);
        if (!why.empty()) {
            return fail(err,
                        std::string("cannot write ") + outputs[i].option + " " +
                            lampsim::quote(outputs[i].path) + ": " + why,
                        2);
        }
    }
    std::vector<std::unique_ptr<lampsim::trace_sink>> sinks;
    if (staged[csv].is_open()) {
        sinks.emplace_back(new lampsim::csv_writer(staged[csv].file()));
    }
    if (staged[vcd].is_open()) {
        sinks.emplace_back(new lampsim::vcd_writer(staged[vcd].file()));
    }
    if (staged[plot].is_open()) {
        sinks.emplace_back(new lampsim::svg_chart(staged[plot].file(), "lampsim: " + name));
    }
    std::vector<lampsim::trace_sink *> sink_ptrs;
    for (auto &s : sinks) {
        sink_ptrs.push_back(s.get());
    }
    lampsim::timeline log(o.quiet ? nullptr : out);
    lampsim::recorder rec(parsed.value, log, sink_ptrs, err);
    lampsim::trace_text trace_events(staged[trace].file());
    lampsim::event_tee both(rec, trace_events);
    lampsim::events &events = staged[trace].is_open() ? static_cast<lampsim::events &>(both) : rec;

    int status = 0;
    lampsim::stream_extras extras;
    if (m0) {
        std::string error;
        if (!lampsim::run_on_m0(parsed.value, target, events, extras, error)) {
            return fail(err, error, 1);
        }
        if (extras.busy_ms != 0) {
            status = fail(err,
                          "thread mode did not run through " + std::to_string(extras.busy_ms) +
                              " ms of the run: interrupts kept the processor",
                          1);
        }
    } else {
        flash_host_erase_all();
        if (has_image) {
            std::copy(image.begin(), image.end(), flash_host_image());
        }
        lampsim::run_on_host(parsed.value, events);
    }
    const lampsim::run_totals &totals = rec.totals();

    for (auto &s : sinks) {
        s->finish(totals.end_us);
    }
    if (staged[flash].is_open()) {
        const uint8_t *bytes = m0 ? extras.image.data() : flash_host_image();
        if (m0 && extras.image.size() != FLASH_DATA_SIZE) {
            return fail(err, "the firmware did not send the store's flash back", 1);
        }
        (void)std::fwrite(bytes, 1, FLASH_DATA_SIZE, staged[flash].file());
    }
    // Every output whole first, then into place: devices (which can fail
    // half-way) before the renames.
    for (int i = 0; i < output_count; ++i) {
        const std::string why = staged[i].is_open() ? staged[i].finish() : "";
        if (!why.empty()) {
            return fail(err,
                        std::string("writing ") + outputs[i].option + " " +
                            lampsim::quote(outputs[i].path) + " failed: " + why +
                            " (no output changed)",
                        1);
        }
    }
    for (const bool devices : {true, false}) {
        for (int i = 0; i < output_count; ++i) {
            const std::string why =
                staged[i].is_open() && staged[i].into_device() == devices ? staged[i].commit() : "";
            if (!why.empty()) {
                return fail(err,
                            std::string("writing ") + outputs[i].option + " " +
                                lampsim::quote(outputs[i].path) + " failed: " + why,
                            1);
            }
        }
    }
    if (!o.quiet) {
        std::fprintf(out, "end at %s: %llu ticks, %llu output updates\n",
                     lampsim::format_time(totals.end_us).c_str(),
                     static_cast<unsigned long long>(totals.ticks),
                     static_cast<unsigned long long>(totals.writes));
    }
    if (o.scenario_path.empty() && !o.quiet) {
        std::fprintf(out, "wrote %s, %s, %s\n", o.csv.c_str(), o.vcd.c_str(), o.plot.c_str());
    }
    if (totals.failed != 0) {
        status = fail(err,
                      std::to_string(totals.failed) + " of " + std::to_string(totals.expectations) +
                          (totals.expectations == 1 ? " expectation" : " expectations") + " failed",
                      1);
    }
    return status;
}

} // namespace

int main(int argc, char **argv) {
    return run_command_line(argc, argv, stdin, stdout, stderr);
}
