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

// The store's flash image, in bytes as files and containers count them.
// NOLINTNEXTLINE(bugprone-implicit-widening-of-multiplication-result): 6 * 1024, a constant
constexpr size_t image_size = FLASH_DATA_SIZE;

struct options {
    std::string scenario_path; // empty: the demonstration
    std::string csv, vcd, plot, trace, flash;
    std::vector<std::string> more_scenarios; // over a serial link: played one after the other
    std::string board = "host";
    std::string firmware;                   // empty: the m0 preset's build of the link's player
    std::string port, link = "semihosting"; // the serial link: a device, or QEMU's UART
    std::string baud = "115200", timeout = "10", change_write, damage_frame;
    bool quiet = false;
    bool real_pace = false;
    bool fault_board = false; // self-check: the board faults as the run starts
    bool print_demo = false, commands_table = false, help = false, version = false;
};

int fail(std::FILE *err, const std::string &message, int status) {
    (void)std::fprintf(err, "lampsim: %s\n", message.c_str());
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

bool over_serial(const options &o) {
    return !o.port.empty() || o.link == "uart";
}

// A whole number of the option's within [min, max].
bool number_option(const std::string &text, uint64_t min, uint64_t max, uint64_t &value) {
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::stoull(text);
    return value >= min && value <= max;
}

std::string check_serial_options(const options &o) {
    if (o.link != "semihosting" && o.link != "uart") {
        return "--link " + quote(o.link) + " is not a link: semihosting or uart";
    }
    if (o.link == "uart" && o.board != "m0") {
        return "--link uart plays the scenario on the Cortex-M0 under QEMU: with --board m0";
    }
    if (!o.port.empty() && (o.board != "host" || o.link != "semihosting")) {
        return "--port plays the scenario on the board at the device: no --board or --link";
    }
    uint64_t v = 0;
    if (!number_option(o.baud, 1, 100000000, v)) {
        return "--baud " + quote(o.baud) + " is not a rate in bits per second";
    }
    if (!number_option(o.timeout, 1, 3600, v)) {
        return "--timeout " + quote(o.timeout) + " is not a number of seconds (1..3600)";
    }
    if (!o.change_write.empty() && !number_option(o.change_write, 1, 0xFFFFFFFFu, v)) {
        return "--change-write " + quote(o.change_write) + " is not a write's number";
    }
    if (!o.damage_frame.empty() && o.damage_frame != "corrupt" && o.damage_frame != "truncate") {
        return "--damage-frame " + quote(o.damage_frame) + " is corrupt or truncate";
    }
    const bool self_check = !o.change_write.empty() || !o.damage_frame.empty() || o.fault_board;
    if (!over_serial(o) && (self_check || o.baud != "115200" || o.timeout != "10")) {
        return "--baud, --timeout, --change-write, --damage-frame and --fault-board are for the "
               "serial link "
               "(--port, or --board m0 --link uart)";
    }
    if (over_serial(o) && (!o.csv.empty() || !o.vcd.empty() || !o.plot.empty())) {
        return "--csv, --vcd and --plot need every PWM write, and the serial link carries each "
               "fade as a digest: take them from the host board or --board m0";
    }
    return "";
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
        } else if (a == "--port") {
            value = &o.port;
        } else if (a == "--link") {
            value = &o.link;
        } else if (a == "--baud") {
            value = &o.baud;
        } else if (a == "--timeout") {
            value = &o.timeout;
        } else if (a == "--change-write") {
            value = &o.change_write;
        } else if (a == "--damage-frame") {
            value = &o.damage_frame;
        } else if (a == "--quiet") {
            o.quiet = true;
            continue;
        } else if (a == "--fault-board") {
            o.fault_board = true;
            continue;
        } else if (a == "--real-pace") {
            o.real_pace = true;
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
            o.more_scenarios.push_back(a);
            continue;
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            return a + " needs a value";
        }
        *value = args[++i];
    }
    if (o.board != "host" && o.board != "m0") {
        return "--board " + quote(o.board) + " is not a board: host or m0";
    }
    if (!o.more_scenarios.empty() &&
        (!over_serial(o) || !o.trace.empty() || !o.flash.empty() || o.scenario_path == "-")) {
        return "one scenario at a time (" + quote(o.scenario_path) + " and " +
               quote(o.more_scenarios[0]) +
               " given; over a serial link, several files without --trace and --flash)";
    }
    if (o.real_pace && (o.board != "m0" || over_serial(o) || !o.csv.empty() || !o.vcd.empty() ||
                        !o.plot.empty() || !o.trace.empty())) {
        return "--real-pace checks the chip's timing with --board m0 over semihosting; its run "
               "leaves the PWM writes out, so no --link uart, --csv, --vcd, --plot or --trace "
               "with it";
    }
    return check_serial_options(o);
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
    if (static_cast<uint64_t>(st.st_size) != image_size) {
        return "--flash " + quote(o.flash) + " holds " + std::to_string(st.st_size) +
               " bytes: a flash image of this lamp holds " + std::to_string(image_size);
    }
    if (access(o.flash.c_str(), R_OK | W_OK) != 0) {
        return "--flash " + quote(o.flash) + " cannot be read and written: " + std::strerror(errno);
    }
    return "";
}

bool read_image(const std::string &path, std::vector<uint8_t> &image) {
    image.assign(image_size, 0xFF);
    std::FILE *in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        return false;
    }
    const bool whole = std::fread(image.data(), 1, image.size(), in) == image.size();
    (void)std::fclose(in);
    return whole;
}

int run_one(options o, const cli_streams &io);

// The command line's status, before its standard output is checked.
int run_arguments(const std::vector<std::string> &args, const cli_streams &io) {
    std::FILE *const out = io.out;
    std::FILE *const err = io.err;
    options o;
    const std::string wrong = parse_options(args, o);
    if (!wrong.empty()) {
        return fail(err, wrong, 2);
    }
    if (o.help) {
        (void)std::fputs(help_text().c_str(), out);
        return 0;
    }
    if (o.version) {
        (void)std::fprintf(out, "lampsim %s\n", LAMPSIM_VERSION);
        return 0;
    }
    if (o.print_demo) {
        (void)std::fputs(demo_scenario, out);
        return 0;
    }
    if (o.commands_table) {
        (void)std::fputs(commands_markdown().c_str(), out);
        return 0;
    }
    if (o.more_scenarios.empty()) {
        return run_one(o, io);
    }
    // Several files on the board, one after the other: the worst status.
    std::vector<std::string> paths{o.scenario_path};
    paths.insert(paths.end(), o.more_scenarios.begin(), o.more_scenarios.end());
    int status = 0;
    unsigned passed = 0;
    for (const std::string &path : paths) {
        options one = o;
        one.scenario_path = path;
        one.more_scenarios.clear();
        const int s = run_one(one, io);
        (void)std::fprintf(out, "%s: %s\n", path.c_str(),
                           s == 0   ? "passed"
                           : s == 1 ? "FAILED"
                                    : "not run");
        (void)std::fflush(out);
        passed += s == 0 ? 1 : 0;
        status = s > status ? s : status;
    }
    (void)std::fprintf(out, "%u of %zu scenario files passed on the board\n", passed, paths.size());
    return status;
}

} // namespace

// Writes to `out` and `err` go unchecked: a message that cannot be written
// has nowhere else to go, and `out`'s error flag, checked once at the end,
// keeps a failure of any write to it.
int run_command_line(const std::vector<std::string> &args, const cli_streams &io) {
    const int status = run_arguments(args, io);
    errno = 0;
    if (std::fflush(io.out) != 0 || std::ferror(io.out) != 0) {
        return fail(io.err,
                    std::string("writing the standard output failed: ") +
                        (errno != 0 ? std::strerror(errno) : "write error"),
                    status > 1 ? status : 1);
    }
    return status;
}

namespace {

// One scenario, from its text to its outputs and exit status.
int run_one(options o, const cli_streams &io) {
    std::FILE *const in = io.in;
    std::FILE *const out = io.out;
    std::FILE *const err = io.err;
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
        (void)std::fprintf(err, "%s\n", parsed.error.c_str());
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
    const bool serial = over_serial(o);
    const bool m0 = o.board == "m0";
    if ((m0 || serial) && io.boards == nullptr) {
        return fail(err, "--board m0 and --port reach boards that cannot be reached from here", 2);
    }
    m0_options target;
    if (m0) {
        target.firmware = !o.firmware.empty() ? o.firmware
                          : serial            ? LAMPSIM_DEFAULT_SERIAL_FIRMWARE
                                              : LAMPSIM_DEFAULT_FIRMWARE;
        target.qemu = LAMPSIM_QEMU;
        target.image_in = has_image ? &image : nullptr;
        target.image_out = !o.flash.empty();
        target.real_pace = o.real_pace;
        o.quiet = o.quiet || o.real_pace; // the timeline would miss the output updates
        const std::string why = io.boards->m0_unusable(target);
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
    link_need need;
    if (serial) {
        port_options po;
        po.baud = static_cast<uint32_t>(std::stoul(o.baud));
        po.timeout_ms = std::stoi(o.timeout) * 1000;
        po.image = has_image ? image : std::vector<uint8_t>(image_size, 0xFF);
        po.image_out = !o.flash.empty();
        po.change_write =
            o.change_write.empty() ? 0 : static_cast<uint32_t>(std::stoul(o.change_write));
        po.damage = o.damage_frame == "corrupt"    ? frame_damage::corrupt
                    : o.damage_frame == "truncate" ? frame_damage::truncate
                                                   : frame_damage::none;
        po.fault = o.fault_board;
        serial_target where;
        where.emulated = m0;
        where.device = o.port;
        where.qemu = target.qemu;
        where.firmware = target.firmware;
        std::string error;
        const int port_status =
            io.boards->run_serial(parsed.value, where, po, stream, extras, need, error);
        if (port_status == 2) {
            return fail(err, error, 2);
        }
        if (port_status != 0) {
            status = fail(err, error, 1);
        }
        if (extras.busy_ms != 0) {
            status = fail(err,
                          "thread mode did not run through " + std::to_string(extras.busy_ms) +
                              " ms of the run: interrupts kept the processor",
                          1);
        }
    } else if (m0) {
        std::string error;
        if (!io.boards->run_m0(parsed.value, target, stream, extras, error)) {
            return fail(err, error, 1);
        }
        if (o.real_pace) {
            (void)std::fprintf(
                out,
                "real pace (-icount shift=%d): thread mode starved through %u ms, at "
                "most %u in a row; the dispatcher at most %u us behind\n",
                real_pace_shift, extras.busy_ms, extras.busy_run_ms, extras.lag_us);
        }
        const uint32_t allowed_run = o.real_pace ? real_pace_busy_run_ms : 0u;
        if (extras.busy_run_ms > allowed_run) {
            status = fail(err,
                          "thread mode did not run through " + std::to_string(extras.busy_ms) +
                              " ms of the run, " + std::to_string(extras.busy_run_ms) +
                              " in a row: interrupts kept the processor",
                          1);
        }
        if (extras.lag_us > lag_bound_us) {
            status = fail(err,
                          "the dispatcher fell " + std::to_string(extras.lag_us) +
                              " us behind a millisecond boundary (bound " +
                              std::to_string(lag_bound_us) + " us)",
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
        const bool from_board = m0 || serial;
        const uint8_t *bytes = from_board ? extras.image.data() : flash_host_image();
        if (from_board && extras.image.size() != image_size) {
            return fail(err, "the firmware did not send the store's flash back", 1);
        }
        (void)std::fwrite(bytes, 1, image_size, staged[flash].file());
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
    if (!o.quiet && tally.digested() == 0) {
        (void)std::fprintf(out, "end at %s: %llu ticks, %llu output updates\n",
                           format_time(tally.end_us()).c_str(),
                           static_cast<unsigned long long>(tally.ticks()),
                           static_cast<unsigned long long>(tally.updates()));
    } else if (!o.quiet) {
        (void)std::fprintf(
            out,
            "end at %s: %llu ticks, %llu PWM writes in fades (as digests), %llu output "
            "updates outside them\n",
            format_time(tally.end_us()).c_str(), static_cast<unsigned long long>(tally.ticks()),
            static_cast<unsigned long long>(tally.digested()),
            static_cast<unsigned long long>(tally.updates()));
    }
    if (!o.quiet && serial && need.total_bytes != 0) {
        (void)std::fprintf(out,
                           "link: %llu bytes of events, %llu in the densest second (from %s); real "
                           "time from %llu baud\n",
                           static_cast<unsigned long long>(need.total_bytes),
                           static_cast<unsigned long long>(need.densest_bytes),
                           format_time(need.densest_from_us).c_str(),
                           static_cast<unsigned long long>(need.min_baud));
    }
    if (o.scenario_path.empty() && !o.quiet) {
        (void)std::fprintf(out, "wrote %s, %s, %s\n", o.csv.c_str(), o.vcd.c_str(), o.plot.c_str());
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

} // namespace

} // namespace lampsim
