#include "cli.h"

#include "csv_writer.h"
#include "demo_scenario.h"
#include "event_fanout.h"
#include "expectation.h"
#include "help.h"
#include "host_run.h"
#include "run_tally.h"
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
#include <memory>
#include <string>

namespace lampsim {
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
    std::string why = read_all(in, text);
    (void)std::fclose(in);
    return why;
}

// "" when the options are sound, else what is wrong.
std::string parse_options(const std::vector<std::string> &args, options &o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
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
            return "unknown option " + quote(a) + " (lampsim --help lists them)";
        } else if (o.scenario_path.empty()) {
            o.scenario_path = a;
            continue;
        } else {
            return "one scenario at a time (" + quote(o.scenario_path) + " and " + quote(a) +
                   " given)";
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            return a + " needs a value";
        }
        *value = args[++i];
    }
    if (o.board != "host" && o.board != "m0") {
        return "--board " + quote(o.board) + " is not a board: host or m0";
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
    std::string id = (real != nullptr ? std::string(real) : dir) + "/" +
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
                       " name the same file " + quote(files[j].path);
            }
        }
    }
    if (o.flash.empty()) {
        return "";
    }
    struct stat st {};
    if (stat(o.flash.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            return "--flash " + quote(o.flash) + ": " + std::strerror(errno);
        }
        return ""; // made at the end, from an erased flash
    }
    if (!S_ISREG(st.st_mode)) {
        return "--flash " + quote(o.flash) + " is not a regular file";
    }
    if (static_cast<uint64_t>(st.st_size) != FLASH_DATA_SIZE) {
        return "--flash " + quote(o.flash) + " holds " + std::to_string(st.st_size) +
               " bytes: a flash image of this lamp holds " + std::to_string(FLASH_DATA_SIZE);
    }
    if (access(o.flash.c_str(), R_OK | W_OK) != 0) {
        return "--flash " + quote(o.flash) + " cannot be read and written: " + std::strerror(errno);
    }
    return "";
}

bool read_image(const std::string &path, std::vector<uint8_t> &image) {
    image.assign(FLASH_DATA_SIZE, 0xFF);
    std::FILE *in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        return false;
    }
    const bool whole = std::fread(image.data(), 1, image.size(), in) == image.size();
    (void)std::fclose(in);
    return whole;
}

} // namespace

int run_command_line(const std::vector<std::string> &args, const cli_streams &io) {
    std::FILE *const in = io.in;
    std::FILE *const out = io.out;
    std::FILE *const err = io.err;
    options o;
    const std::string wrong = parse_options(args, o);
    if (!wrong.empty()) {
        return fail(err, wrong, 2);
    }
    if (o.help) {
        std::fputs(help_text().c_str(), out);
        return 0;
    }
    if (o.version) {
        std::fprintf(out, "lampsim %s\n", LAMPSIM_VERSION);
        return 0;
    }
    if (o.print_demo) {
        std::fputs(demo_scenario, out);
        return 0;
    }
    if (o.commands_table) {
        std::fputs(commands_markdown().c_str(), out);
        return 0;
    }

    std::string text = demo_scenario;
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
            return fail(err, "cannot read " + quote(o.scenario_path) + ": " + why, 2);
        }
    }

    // Everything is checked before anything runs or is written.
    const parse_result parsed = parse_scenario(text, name);
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
        return fail(err, "cannot read --flash " + quote(o.flash), 2);
    }
    const bool m0 = o.board == "m0";
    m0_options target;
    if (m0) {
        target.firmware = o.firmware;
        target.qemu = LAMPSIM_QEMU;
        target.image_in = has_image ? &image : nullptr;
        target.image_out = !o.flash.empty();
        const std::string why = io.m0 != nullptr ? io.m0->unusable(target)
                                                 : "--board m0 runs QEMU, which cannot run here";
        if (!why.empty()) {
            return fail(err, why, 2);
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
    staged_file staged[output_count];
    for (int i = 0; i < output_count; ++i) {
        if (outputs[i].path.empty()) {
            continue;
        }
        const std::string why = staged[i].open(outputs[i].path);
        if (!why.empty()) {
            return fail(err,
                        std::string("cannot write ") + outputs[i].option + " " +
                            quote(outputs[i].path) + ": " + why,
                        2);
        }
    }
    // Each consumer reads the run's one stream of events.
    event_fanout stream;
    run_tally tally;
    stream.add(tally);
    expectation_report expectations(parsed.value, err);
    stream.add(expectations, false);
    timeline log(parsed.value, out);
    if (!o.quiet) {
        stream.add(log);
    }
    csv_writer csv_out(staged[csv].file());
    vcd_writer vcd_out(staged[vcd].file());
    svg_chart chart(staged[plot].file(), "lampsim: " + name, parsed.value);
    trace_text trace_out(staged[trace].file());
    const struct {
        int output;
        events &consumer;
    } writers[] = {{csv, csv_out}, {vcd, vcd_out}, {plot, chart}, {trace, trace_out}};
    for (const auto &w : writers) {
        if (staged[w.output].is_open()) {
            stream.add(w.consumer);
        }
    }

    int status = 0;
    stream_extras extras;
    if (m0) {
        std::string error;
        if (!io.m0->run(parsed.value, target, stream, extras, error)) {
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
        run_on_host(parsed.value, stream);
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
                        std::string("writing ") + outputs[i].option + " " + quote(outputs[i].path) +
                            " failed: " + why + " (no output changed)",
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
                                quote(outputs[i].path) + " failed: " + why,
                            1);
            }
        }
    }
    if (!o.quiet) {
        std::fprintf(out, "end at %s: %llu ticks, %llu output updates\n",
                     format_time(tally.end_us()).c_str(),
                     static_cast<unsigned long long>(tally.ticks()),
                     static_cast<unsigned long long>(tally.updates()));
    }
    if (o.scenario_path.empty() && !o.quiet) {
        std::fprintf(out, "wrote %s, %s, %s\n", o.csv.c_str(), o.vcd.c_str(), o.plot.c_str());
    }
    if (expectations.failed() != 0) {
        status = fail(err,
                      std::to_string(expectations.failed()) + " of " +
                          std::to_string(expectations.expectations()) +
                          (expectations.expectations() == 1 ? " expectation" : " expectations") +
                          " failed",
                      1);
    }
    return status;
}

} // namespace lampsim
