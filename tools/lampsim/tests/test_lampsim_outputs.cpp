// lampsim as its users run it: the program, its files and its exit status;
// and docs/lampsim.md shows what it does: its command table is the one the
// program generates, and its worked example is a scenario file of the tests,
// with the timeline lampsim prints for it, line for line.
#include "help.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct run_result {
    int status;
    std::string out, err;
};

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool exists(const std::string &path) {
    return access(path.c_str(), F_OK) == 0;
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        lines.push_back(l);
    }
    return lines;
}

class Lampsim : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/lampsim_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    std::string path(const std::string &name) const { return dir + "/" + name; }

    // Runs lampsim in the test's directory; the scenario, if any, as s.lamp;
    // its standard output into `out`.
    run_result run(const std::string &args, const std::string &scenario = "",
                   const std::string &out = "out.txt") {
        if (!scenario.empty()) {
            std::ofstream(path("s.lamp")) << scenario;
        }
        const std::string cmd =
            "cd " + dir + " && " + LAMPSIM_BIN + " " + args + " >" + out + " 2>err.txt";
        const int raw = std::system(cmd.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(path("out.txt")),
                slurp(path("err.txt"))};
    }

    std::string dir;
};

using changes = std::vector<std::pair<uint64_t, unsigned>>;

// Value changes of each named signal in a VCD text.
std::map<std::string, changes> read_vcd(const std::string &text) {
    std::map<std::string, std::string> names;
    std::map<std::string, changes> out;
    std::istringstream in(text);
    std::string word;
    uint64_t t = 0;
    while (in >> word) {
        if (word == "$var") {
            std::string type, width, id, name;
            in >> type >> width >> id >> name;
            names[id] = name;
        } else if (word[0] == '#') {
            t = std::stoull(word.substr(1));
        } else if (word[0] == 'b') {
            std::string id;
            in >> id;
            out[names[id]].push_back(
                {t, static_cast<unsigned>(std::stoul(word.substr(1), nullptr, 2))});
        } else if ((word[0] == '0' || word[0] == '1') && word.size() == 2) {
            out[names[word.substr(1)]].push_back({t, static_cast<unsigned>(word[0] - '0')});
        }
    }
    return out;
}

// What a waveform shows of one CSV column: the last value of each
// microsecond, where it differs from before.
changes csv_changes(const std::vector<std::string> &rows, int column) {
    changes c;
    for (size_t i = 1; i < rows.size(); ++i) {
        std::vector<std::string> f;
        std::stringstream s(rows[i]);
        for (std::string v; std::getline(s, v, ',');) {
            f.push_back(v);
        }
        const uint64_t t = std::stoull(f[0]);
        const unsigned v = static_cast<unsigned>(std::stoul(f[static_cast<size_t>(column)]));
        if (!c.empty() && c.back().first == t) {
            c.pop_back();
        }
        if (c.empty() || c.back().second != v) {
            c.push_back({t, v});
        }
    }
    return c;
}

// The text after `marker` up to `until`.
std::string section(const std::string &doc, const std::string &marker, const std::string &until) {
    const size_t from = doc.find(marker);
    if (from == std::string::npos) {
        return "(no " + marker + ")";
    }
    const size_t start = from + marker.size();
    return doc.substr(start, doc.find(until, start) - start);
}

using Docs = Lampsim;

} // namespace

TEST_F(Docs, CommandTableIsTheOneTheProgramGenerates) {
    EXPECT_EQ(section(slurp(SOURCE_DIR "/docs/lampsim.md"),
                      "<!-- commands: lampsim --commands-table -->\n", "<!-- end of commands -->"),
              lampsim::commands_markdown());
}

TEST_F(Docs, WorkedExampleIsTheTestScenarioAndItsTimeline) {
    const std::string doc = slurp(SOURCE_DIR "/docs/lampsim.md");
    const std::string file = SOURCE_DIR "/tests/scenarios/worked_example.lamp";
    EXPECT_EQ(section(doc, "<!-- example: tests/scenarios/worked_example.lamp -->\n```\n", "```"),
              slurp(file));
    const run_result r = run(file);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(section(doc, "<!-- example output -->\n```\n", "```"), r.out);
}

// Lit at time 0, then cold/warm mixing, a power cut, brightness/temperature
// mixing after it.
TEST_F(Lampsim, CsvNamesChannelsByModeAndShowsTheOutputsDarkThroughAPowerCut) {
    const run_result r = run("s.lamp --csv a.csv --quiet", "switch on\n"
                                                           "process direct\n"
                                                           "config mode=cw\n"
                                                           "0s init\n"
                                                           "1s power-cut\n"
                                                           "config mode=cct\n"
                                                           "2s init\n"
                                                           "2.001s end\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> rows = lines_of(slurp(path("a.csv")));
    ASSERT_GT(rows.size(), 3000u);
    // Named by the mode once the lines of time 0 have run.
    EXPECT_EQ(rows[0], "time_us,cold_white,warm_white,supply,switch,mode");
    EXPECT_EQ(rows[1], "0,180,0,1,1,cct"); // brightness 0 shows as 1 %
    EXPECT_EQ(rows[2], "0,180,0,1,1,cw");
    EXPECT_EQ(rows[3], "277,0,1,1,1,cw"); // 100 %, warm end: channel 1 alone
    const auto cut = std::find(rows.begin(), rows.end(), "1000000,0,0,0,0,cw");
    ASSERT_NE(cut, rows.end());
    EXPECT_EQ(*(cut - 1), "999970,0,3610,1,1,cw"); // 3610 * 277 us
    EXPECT_EQ(*(cut + 1), "2000000,0,0,1,1,cct");
    EXPECT_EQ(*(cut + 2), "2000277,1,0,1,1,cct");
}

// The demonstration's VCD, decoded by GTKWave's own reader, shows exactly what
// the CSV holds; both name the channels by the mode the run starts in.
TEST_F(Lampsim, DemoWritesItsFilesAndTheVcdDecodesToTheCsv) {
    const run_result r = run("--quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string convert = "cd " + dir +
                                " && vcd2fst out/demo.vcd demo.fst >/dev/null 2>&1 && " +
                                "fst2vcd demo.fst > decoded.vcd 2>/dev/null";
    ASSERT_EQ(std::system(convert.c_str()), 0)
        << "GTKWave's vcd2fst/fst2vcd are needed (Debian package gtkwave)";
    const auto decoded = read_vcd(slurp(path("decoded.vcd")));
    const std::vector<std::string> rows = lines_of(slurp(path("out/demo.csv")));
    ASSERT_GT(rows.size(), 1000u);
    EXPECT_EQ(rows[0], "time_us,brightness,colour_temperature,supply,switch,mode");
    const char *names[] = {"brightness", "colour_temperature", "supply", "switch"};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(decoded.count(names[i]), 1u) << names[i];
        const changes want = csv_changes(rows, i + 1);
        const changes &got = decoded.at(names[i]);
        ASSERT_EQ(got.size(), want.size()) << names[i];
        for (size_t k = 0; k < want.size(); ++k) {
            ASSERT_EQ(got[k], want[k]) << names[i] << " change " << k;
        }
    }
    // The demonstration changes to cold/warm mixing at its third power-on.
    EXPECT_EQ(decoded.at("cold_warm_mixing"), (changes{{0, 0}, {33500000, 1}}));
}

TEST_F(Lampsim, ChartNamesChannelsByModeAndLabelsMarksWithoutOverlap) {
    const run_result r = run("--quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string svg = slurp(path("out/demo.svg"));
    EXPECT_NE(svg.find("channel 0: brightness; from 33.5 s: cold white"), std::string::npos);
    EXPECT_NE(svg.find("channel 1: colour temperature; from 33.5 s: warm white"),
              std::string::npos);
    for (const char *mark :
         {"saved", "hold released", "countdown: switched off", "mode cw: cold white"}) {
        EXPECT_NE(svg.find(mark), std::string::npos) << mark;
    }
    // Labels run downwards, one column each, at least a line apart.
    std::vector<double> xs;
    const std::regex label("rotate\\(90 ([0-9.]+) ");
    for (std::sregex_iterator i(svg.begin(), svg.end(), label), e; i != e; ++i) {
        xs.push_back(std::stod((*i)[1]));
    }
    ASSERT_GT(xs.size(), 10u);
    for (size_t i = 1; i < xs.size(); ++i) {
        EXPECT_GE(xs[i] - xs[i - 1], 12.0) << "label " << i;
    }
}

// Every kind of line the timeline prints that the worked example of
// docs/lampsim.md (checked above) does not.
TEST_F(Lampsim, TimelineShowsModesRefusedSavesCountdownsAndBlinks) {
    const run_result r = run("s.lamp", "config mode=cw gradual=396\n"
                                       "0s init\n"
                                       "1s nvm-fail on\n"
                                       "save\n"
                                       "countdown 1\n"
                                       "blink start 0 200\n"
                                       "1.2s expect outputs 0 2\n"
                                       "1.3s end\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "    0.000000 s  power on, mode cct\n"
                     "    0.000000 s  > config mode=cw gradual=396\n"
                     "    0.000000 s      mode cct -> cw\n"
                     "    0.000000 s  > init\n"
                     "    0.000000 s      fade start: tick 22 us\n"
                     "    0.000000 s      switch off -> on\n"
                     "    0.000000 s      bright 0 -> 100\n"
                     "    0.396022 s  fade stop: 18001 ticks in 396.022 ms, outputs (cold white 0, "
                     "warm white 18000)\n"
                     "    1.000000 s  > nvm-fail on\n"
                     "    1.000000 s  > save  => LIGHT_ERROR\n"
                     "    1.000000 s      save refused by the store: 0 of 7 bytes of record A5 AA "
                     "01 64 00 00 00 written\n"
                     "    1.000000 s  > countdown 1  => LIGHT_OK\n"
                     "    1.000000 s      countdown 0 -> 1\n"
                     "    1.000000 s  > blink start 0 200  => LIGHT_OK\n"
                     "    1.200000 s  > expect outputs 0 2  => FAILED, got outputs 0 18000\n"
                     "    1.300000 s  > end\n"
                     "end at 1.300000 s: 18001 ticks, 18000 output updates\n");
    EXPECT_EQ(r.err, "s.lamp:7: expected outputs 0 2, got outputs 0 18000\n"
                     "lampsim: 1 of 1 expectation failed\n");
}

TEST_F(Lampsim, FlashFileCarriesTheStoreIntoTheNextRunAndBadImagesAreRefusedUntouched) {
    ASSERT_EQ(run("s.lamp --flash lamp.bin", "0s init\n3s bright 30\ntemper 60\nsave\n").status, 0);
    EXPECT_EQ(
        run("s.lamp --flash lamp.bin --quiet", "0s init\nexpect saved 1 30 60\nexpect bright 30\n")
            .status,
        0);
    // A missing image starts erased, and is made.
    EXPECT_EQ(run("s.lamp --flash new.bin --quiet", "0s init\nexpect saved none\n").status, 0);
    EXPECT_TRUE(exists(path("new.bin")));

    std::ofstream(path("long.bin")) << std::string(7144, '\xff');
    mkdir(path("dir.bin").c_str(), 0777);
    const std::string good = slurp(path("lamp.bin"));
    struct row {
        std::string args, error;
    } rows[] = {
        {"--flash long.bin",
         "lampsim: --flash 'long.bin' holds 7144 bytes: a flash image of this lamp holds 6144\n"},
        {"--flash /dev/zero", "lampsim: --flash '/dev/zero' is not a regular file\n"},
        {"--flash dir.bin", "lampsim: --flash 'dir.bin' is not a regular file\n"},
        {"--flash lamp.bin --csv lamp.bin",
         "lampsim: --csv and --flash name the same file 'lamp.bin'\n"},
        {"--csv a.csv --vcd ./a.csv", "lampsim: --csv and --vcd name the same file './a.csv'\n"},
        {"--plot s.lamp", "lampsim: the scenario and --plot name the same file 's.lamp'\n"},
    };
    for (const row &r : rows) {
        const run_result got = run("s.lamp " + r.args, "0s init\nsave\n");
        EXPECT_EQ(got.status, 2) << r.args;
        EXPECT_EQ(got.err, r.error);
        EXPECT_TRUE(got.out.empty()) << r.args;
    }
    EXPECT_EQ(slurp(path("long.bin")).size(), 7144u);
    EXPECT_EQ(slurp(path("lamp.bin")), good);
    EXPECT_FALSE(exists(path("a.csv")));
}

TEST_F(Lampsim, AWrongLineStopsTheRunBeforeAnythingIsWritten) {
    std::ofstream(path("a.bin")) << std::string(6144, '\x55');
    const run_result r =
        run("s.lamp --csv a.csv --vcd a.vcd --plot a.svg --trace a.txt --flash a.bin",
            "0s init\n+1s bright 70000\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "s.lamp:2: value '70000' is outside 0..65535 (uint16_t)\n");
    EXPECT_TRUE(r.out.empty());
    for (const char *f : {"a.csv", "a.vcd", "a.svg", "a.txt"}) {
        EXPECT_FALSE(exists(path(f))) << f;
    }
    EXPECT_EQ(slurp(path("a.bin")), std::string(6144, '\x55'));
}

// Outputs are staged and put in place only by a run that writes them whole:
// an output that cannot be made, or one whose writing fails, leaves every
// existing file as it was and no temporary behind.
TEST_F(Lampsim, OutputsAreWrittenWholeOrNotAtAll) {
    const std::string kept = "an earlier run's csv\n";
    std::ofstream(path("keep.csv")) << kept;
    std::ofstream(path("keep.svg")) << kept;
    mkdir(path("dir.vcd").c_str(), 0777);
    const std::string lamp = "0s init\n1s end\n";
    struct row {
        std::string args;
        int status;
        std::string error;
    } rows[] = {
        {"--csv keep.csv --vcd nodir/x.vcd", 2,
         "lampsim: cannot write --vcd 'nodir/x.vcd': No such file or directory\n"},
        {"--csv keep.csv --vcd dir.vcd", 2,
         "lampsim: cannot write --vcd 'dir.vcd': it is a directory\n"},
        {"--csv keep.csv --plot keep.svg --vcd /dev/full", 1,
         "lampsim: writing --vcd '/dev/full' failed: No space left on device\n"},
        {"--csv keep.csv --flash nodir/lamp.bin", 2,
         "lampsim: cannot write --flash 'nodir/lamp.bin': No such file or directory\n"},
    };
    for (const row &r : rows) {
        const run_result got = run("s.lamp --quiet " + r.args, lamp);
        EXPECT_EQ(got.status, r.status) << r.args;
        EXPECT_EQ(got.err, r.error);
        EXPECT_EQ(slurp(path("keep.csv")), kept) << r.args;
        EXPECT_EQ(slurp(path("keep.svg")), kept) << r.args;
    }
    EXPECT_EQ(std::system(("test -z \"$(ls -A " + dir + " | grep '^\\.')\"").c_str()), 0)
        << "a temporary file was left";
    // A device takes the output; a run whose expectation fails still writes
    // its outputs, which show why.
    EXPECT_EQ(run("s.lamp --quiet --csv /dev/null", lamp).status, 0);
    const run_result failed = run("s.lamp --quiet --csv keep.csv", "0s init\nexpect switch off\n");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(lines_of(slurp(path("keep.csv")))[0],
              "time_us,brightness,colour_temperature,supply,switch,mode");
    // So does the standard output: a timeline or help that could not be
    // written fails the run.
    for (const char *args : {"s.lamp", "--help"}) {
        const run_result full = run(args, lamp, "/dev/full");
        EXPECT_EQ(full.status, 1) << args;
        EXPECT_EQ(full.err.rfind("lampsim: writing the standard output failed: ", 0), 0u)
            << args << ": " << full.err;
    }
}

// A scenario path that is no file is named for what it is; `-` is stdin.
TEST_F(Lampsim, ScenarioPathsAreToldApartAndDashReadsStandardInput) {
    mkdir(path("dir.lamp").c_str(), 0777);
    ASSERT_EQ(mkfifo(path("fifo.lamp").c_str(), 0666), 0);
    EXPECT_EQ(run("dir.lamp").err,
              "lampsim: cannot read 'dir.lamp': it is a directory, not a scenario file\n");
    EXPECT_EQ(run("fifo.lamp").err,
              "lampsim: cannot read 'fifo.lamp': it is a FIFO, not a scenario file\n");
    EXPECT_EQ(run("/dev/null").err,
              "lampsim: cannot read '/dev/null': it is a device, not a scenario file\n");
    EXPECT_EQ(run("none.lamp").err,
              "lampsim: cannot read 'none.lamp': No such file or directory\n");
    std::ofstream(path("in.lamp")) << "0s init\nexpect switch off\n";
    const run_result piped = run("- --quiet < in.lamp");
    EXPECT_EQ(piped.status, 1);
    EXPECT_EQ(piped.err, "<stdin>:2: expected switch off, got switch on\n"
                         "lampsim: 1 of 1 expectation failed\n");
}

TEST_F(Lampsim, HelpVersionAndOptionsAreAnswered) {
    const run_result help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.err.empty());
    for (const char *c :
         {"usage: lampsim", "blink start|on|off COUNT PERIOD_MS", "expect saved none|P B T"}) {
        EXPECT_NE(help.out.find(c), std::string::npos) << c;
    }
    EXPECT_EQ(run("--version").out.rfind("lampsim ", 0), 0u);
    const run_result bogus = run("--bogus");
    EXPECT_EQ(bogus.status, 2);
    EXPECT_EQ(bogus.err, "lampsim: unknown option '--bogus' (lampsim --help lists them)\n");
    EXPECT_EQ(run("s.lamp --board pi", "init\n").err,
              "lampsim: --board 'pi' is not a board: host or m0\n");
    const run_result missing = run("s.lamp --board m0 --firmware none.elf", "init\n");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("none.elf"), std::string::npos) << missing.err;
}
