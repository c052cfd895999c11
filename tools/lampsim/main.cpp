// lampsim: the lamp's module on the simulated board, driven by a scenario.
#include "csv_writer.h"
#include "demo_scenario.h"
#include "lamp_runner.h"
#include "scenario.h"
#include "svg_chart.h"
#include "timeline.h"
#include "vcd_writer.h"

#include "flash_host.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

namespace {

const char usage[] = "usage: lampsim [SCENARIO|-] [--csv FILE] [--vcd FILE] [--plot FILE.svg] "
                     "[--flash FILE] [--quiet]\n"
                     "       lampsim --print-demo\n"
                     "Without SCENARIO: the built-in demonstration, written to out/demo.csv, "
                     "out/demo.vcd, out/demo.svg.\n";

struct options {
    std::string scenario_path; // empty: the demonstration
    std::string csv, vcd, plot, flash;
    bool quiet = false;
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
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            return false;
        }
        buffer << in.rdbuf();
    }
    text = buffer.str();
    return true;
}

bool parse_options(int argc, char **argv, options &o, bool &print_demo) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        std::string *target = nullptr;
        if (a == "--csv") {
            target = &o.csv;
        } else if (a == "--vcd") {
            target = &o.vcd;
        } else if (a == "--plot") {
            target = &o.plot;
        } else if (a == "--flash") {
            target = &o.flash;
        } else if (a == "--quiet") {
            o.quiet = true;
            continue;
        } else if (a == "--print-demo") {
            print_demo = true;
            continue;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return false;
        } else if (o.scenario_path.empty()) {
            o.scenario_path = a;
            continue;
        } else {
            return false;
        }
        if (i + 1 >= argc) {
            return false;
        }
        *target = argv[++i];
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    options o;
    bool print_demo = false;
    if (!parse_options(argc, argv, o, print_demo)) {
        std::fputs(usage, stderr);
        return 2;
    }
    if (print_demo) {
        std::fputs(lampsim::demo_scenario, stdout);
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
            return fail("cannot read " + o.scenario_path + ": " + std::strerror(errno), 2);
        }
    }

    // The whole scenario is checked before anything runs or is written.
    const lampsim::parse_result parsed = lampsim::parse_scenario(text, name);
    if (!parsed.ok) {
        std::fprintf(stderr, "%s\n", parsed.error.c_str());
        return 2;
    }

    flash_host_erase_all();
    if (!o.flash.empty() && flash_host_load(o.flash.c_str()) != 0) {
        return fail(o.flash + ": not a flash image of this lamp", 1);
    }

    std::vector<file_ptr> files;
    std::vector<std::unique_ptr<lampsim::trace_sink>> sinks;
    struct wanted {
        const std::string &path;
        int kind;
    } outputs[] = {{o.csv, 0}, {o.vcd, 1}, {o.plot, 2}};
    for (const wanted &w : outputs) {
        if (w.path.empty()) {
            continue;
        }
        file_ptr f(std::fopen(w.path.c_str(), "w"));
        if (!f) {
            return fail("cannot write " + w.path + ": " + std::strerror(errno), 1);
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

    std::vector<lampsim::trace_sink *> sink_ptrs;
    for (auto &s : sinks) {
        sink_ptrs.push_back(s.get());
    }
    lampsim::timeline log(o.quiet ? nullptr : stdout);
    lampsim::lamp_runner runner(log, sink_ptrs);
    const lampsim::run_totals totals = runner.run(parsed.value);

    int status = 0;
    for (size_t i = 0; i < sinks.size(); ++i) {
        if (!sinks[i]->finish(totals.end_us)) {
            status = fail("writing an output failed", 1);
        }
    }
    if (!o.flash.empty() && flash_host_save(o.flash.c_str()) != 0) {
        status = fail("cannot write " + o.flash, 1);
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
    return status;
}
