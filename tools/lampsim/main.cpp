// lampsim: the lamp's module driven by a scenario, on the simulated board or
// on the Cortex-M0 firmware under QEMU.
#include "csv_writer.h"
#include "demo_scenario.h"
#include "help.h"
#include "host_run.h"
#include "m0_run.h"
#include "recorder.h"
#include "scenario.h"
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
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

namespace {

struct options {
    std::string scenario_path; // empty: the demonstration
    std::string csv, vcd, plot, trace, flash;
    std::string board = "host";
    std::string firmware = LAMPSIM_DEFAULT_FIRMWARE;
    bool quiet = false;
    bool real_pace = false;
    bool print_demo = false, commands_table = false, help = false, version = false;
};

struct file_closer {
    void operator()(std::FILE *f) const {
        if (f != nullptr) {
            std::fclose(f);
        }
    }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

int fail(const std::string &message, int status) {
    std::fprintf(stderr, "lampsim: %s\n", message.c_str());
    return status;
}

bool read_text(const std::string &path, std::string &text) {
    std::stringstream buffer;
    if (path == "-") {
        buffer << std::cin.rdbuf();
    } else {
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            errno = EISDIR;
            return false;
        }
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            return false;
        }
        buffer << in.rdbuf();
    }
    text = buffer.str();
    return true;
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
    if (o.real_pace && (o.board != "m0" || !o.csv.empty() || !o.vcd.empty() || !o.plot.empty() ||
                        !o.trace.empty())) {
        return "--real-pace checks the chip's timing with --board m0; its run leaves the PWM "
               "writes out, so no --csv, --vcd, --plot or --trace with it";
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
        const size_t slash = o.flash.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : o.flash.substr(0, slash + 1);
        if (access(dir.c_str(), W_OK) != 0) {
            return "--flash " + lampsim::quote(o.flash) +
                   " cannot be made: " + std::strerror(errno);
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

bool write_image(const std::string &path, const std::vector<uint8_t> &image) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(image.data()),
              static_cast<std::streamsize>(image.size()));
    return static_cast<bool>(out.flush());
}

} // namespace

int main(int argc, char **argv) {
    options o;
    const std::string wrong = parse_options(argc, argv, o);
    if (!wrong.empty()) {
        return fail(wrong, 2);
    }
    if (o.help) {
        std::fputs(lampsim::help_text().c_str(), stdout);
        return 0;
    }
    if (o.version) {
        std::printf("lampsim %s\n", LAMPSIM_VERSION);
        return 0;
    }
    if (o.print_demo) {
        std::fputs(lampsim::demo_scenario, stdout);
        return 0;
    }
    if (o.commands_table) {
        std::fputs(lampsim::commands_markdown().c_str(), stdout);
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
        name = o.scenario_path == "-" ? "stdin" : o.scenario_path;
        if (!read_text(o.scenario_path, text)) {
            return fail(
                "cannot read " + lampsim::quote(o.scenario_path) + ": " + std::strerror(errno), 2);
        }
    }

    // Everything is checked before anything runs or is written.
    const lampsim::parse_result parsed = lampsim::parse_scenario(text, name);
    if (!parsed.ok) {
        std::fprintf(stderr, "%s\n", parsed.error.c_str());
        return 2;
    }
    const std::string unusable = check_files(o);
    if (!unusable.empty()) {
        return fail(unusable, 2);
    }
    std::vector<uint8_t> image;
    const bool has_image = !o.flash.empty() && access(o.flash.c_str(), F_OK) == 0;
    if (has_image && !read_image(o.flash, image)) {
        return fail("cannot read --flash " + lampsim::quote(o.flash), 2);
    }
    const bool m0 = o.board == "m0";
    lampsim::m0_options target;
    if (m0) {
        target.firmware = o.firmware;
        target.qemu = LAMPSIM_QEMU;
        target.image_in = has_image ? &image : nullptr;
        target.image_out = !o.flash.empty();
        target.real_pace = o.real_pace;
        o.quiet = o.quiet || o.real_pace; // the timeline would miss the output updates
        if (lampsim::find_program(target.qemu).empty()) {
            return fail("--board m0 runs the firmware under " + target.qemu +
                            ", which was not found (Debian package qemu-system-arm)",
                        2);
        }
        struct stat st {};
        if (stat(target.firmware.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return fail("no firmware image at " + target.firmware +
                            ": build it with the m0 preset (cmake --preset m0 && cmake --build "
                            "--preset m0), or name one with --firmware FILE",
                        2);
        }
    }

    std::vector<file_ptr> files;
    std::vector<std::unique_ptr<lampsim::trace_sink>> sinks;
    const struct {
        const std::string &path;
        int kind;
    } outputs[] = {{o.csv, 0}, {o.vcd, 1}, {o.plot, 2}};
    for (const auto &w : outputs) {
        if (w.path.empty()) {
            continue;
        }
        file_ptr f(std::fopen(w.path.c_str(), "w"));
        if (!f) {
            return fail("cannot write " + lampsim::quote(w.path) + ": " + std::strerror(errno), 1);
        }
        if (w.kind == 0) {
            sinks.emplace_back(new lampsim::csv_writer(f.get()));
        } else if (w.kind == 1) {
            sinks.emplace_back(new lampsim::vcd_writer(f.get()));
        } else {
            sinks.emplace_back(new lampsim::svg_chart(f.get(), "lampsim: " + name));
        }
        files.push_back(std::move(f));
    }
    file_ptr trace_file;
    if (!o.trace.empty()) {
        trace_file.reset(std::fopen(o.trace.c_str(), "w"));
        if (!trace_file) {
            return fail("cannot write " + lampsim::quote(o.trace) + ": " + std::strerror(errno), 1);
        }
    }

    std::vector<lampsim::trace_sink *> sink_ptrs;
    for (auto &s : sinks) {
        sink_ptrs.push_back(s.get());
    }
    lampsim::timeline log(o.quiet ? nullptr : stdout);
    lampsim::recorder rec(parsed.value, log, sink_ptrs, stderr);
    lampsim::trace_text trace(trace_file.get());
    lampsim::event_tee both(rec, trace);
    lampsim::events &out = trace_file ? static_cast<lampsim::events &>(both) : rec;

    int status = 0;
    lampsim::stream_extras extras;
    if (m0) {
        std::string error;
        if (!lampsim::run_on_m0(parsed.value, target, out, extras, error)) {
            return fail(error, 1);
        }
        if (o.real_pace) {
            std::printf("real pace (-icount shift=%d): thread mode starved through %u ms, at "
                        "most %u in a row; the dispatcher at most %u us behind\n",
                        lampsim::real_pace_shift, extras.busy_ms, extras.busy_run_ms,
                        extras.lag_us);
        }
        const uint32_t allowed_run = o.real_pace ? lampsim::real_pace_busy_run_ms : 0u;
        if (extras.busy_run_ms > allowed_run) {
            status = fail("thread mode did not run through " + std::to_string(extras.busy_ms) +
                              " ms of the run, " + std::to_string(extras.busy_run_ms) +
                              " in a row: interrupts kept the processor",
                          1);
        }
        if (extras.lag_us > lampsim::lag_bound_us) {
            status = fail("the dispatcher fell " + std::to_string(extras.lag_us) +
                              " us behind a millisecond boundary (bound " +
                              std::to_string(lampsim::lag_bound_us) + " us)",
                          1);
        }
    } else {
        flash_host_erase_all();
        if (has_image) {
            std::copy(image.begin(), image.end(), flash_host_image());
        }
        lampsim::run_on_host(parsed.value, out);
    }
    const lampsim::run_totals &totals = rec.totals();

    for (auto &s : sinks) {
        if (!s->finish(totals.end_us)) {
            status = fail("writing an output failed", 1);
        }
    }
    if (trace_file && (std::fflush(trace_file.get()) != 0 || std::ferror(trace_file.get()) != 0)) {
        status = fail("writing " + lampsim::quote(o.trace) + " failed", 1);
    }
    if (!o.flash.empty()) {
        const bool saved =
            m0 ? extras.image.size() == FLASH_DATA_SIZE && write_image(o.flash, extras.image)
               : flash_host_save(o.flash.c_str()) == 0;
        if (!saved) {
            status = fail("cannot write " + lampsim::quote(o.flash), 1);
        }
    }
    if (!o.quiet) {
        std::printf("end at %s: %llu ticks, %llu output updates\n",
                    lampsim::format_time(totals.end_us).c_str(),
                    static_cast<unsigned long long>(totals.ticks),
                    static_cast<unsigned long long>(totals.writes));
    }
    if (o.scenario_path.empty() && !o.quiet) {
        std::printf("wrote %s, %s, %s\n", o.csv.c_str(), o.vcd.c_str(), o.plot.c_str());
    }
    if (totals.failed != 0) {
        status = fail(std::to_string(totals.failed) + " of " + std::to_string(totals.expectations) +
                          (totals.expectations == 1 ? " expectation" : " expectations") + " failed",
                      1);
    }
    return status;
}
