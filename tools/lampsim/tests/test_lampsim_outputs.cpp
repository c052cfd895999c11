// lampsim as its users run it: the program, its files and its exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
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

class Lampsim : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/lampsim_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    std::string path(const std::string &name) const { return dir + "/" + name; }

    // Runs lampsim in the test's directory; the scenario, if any, as s.txt.
    run_result run(const std::string &args, const std::string &scenario = "") {
        if (!scenario.empty()) {
            std::ofstream(path("s.txt")) << scenario;
        }
        const std::string cmd =
            "cd " + dir + " && " + LAMPSIM_BIN + " " + args + " >out.txt 2>err.txt";
        const int raw = std::system(cmd.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(path("out.txt")),
                slurp(path("err.txt"))};
    }

    std::string dir;
};

struct row {
    uint64_t t;
    unsigned c0, c1;
};

std::vector<row> read_csv(const std::string &text) {
    std::vector<row> rows;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "time_us,channel0,channel1");
    while (std::getline(in, line)) {
        row r{};
        EXPECT_EQ(std::sscanf(line.c_str(), "%lu,%u,%u", &r.t, &r.c0, &r.c1), 3) << line;
        rows.push_back(r);
    }
    return rows;
}

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

// What a waveform shows of one channel of the CSV: the last value written on
// each microsecond, where it differs from before.
changes csv_changes(const std::vector<row> &rows, int channel) {
    changes c = {{0, 0}};
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i + 1 < rows.size() && rows[i + 1].t == rows[i].t) {
            continue;
        }
        const unsigned v = channel == 0 ? rows[i].c0 : rows[i].c1;
        if (v != c.back().second) {
            c.push_back({rows[i].t, v});
        }
    }
    return c;
}

} // namespace

// Cold/warm mixing from dark to (2700, 6300): the outputs take turns, one unit
// a tick of 277 us, and arrive on the 9001st write.
TEST_F(Lampsim, CsvHoldsEveryWriteOfAColdWarmFade) {
    const run_result r = run("s.txt --csv fade.csv --quiet", "config mode=cw\n"
                                                             "0s init\n"
                                                             "5s bright 50\n"
                                                             "temper 30\n"
                                                             "switch off\n"
                                                             "process direct\n"
                                                             "switch on\n"
                                                             "process gradual\n"
                                                             "+3s end\n");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<row> rows = read_csv(slurp(path("fade.csv")));
    size_t first = 0;
    while (first < rows.size() && rows[first].t < 5000000) {
        ++first;
    }
    ASSERT_LT(first, rows.size());
    EXPECT_EQ(rows[first].t, 5000000u); // the direct switch-off
    EXPECT_EQ(rows[first].c0 + rows[first].c1, 0u);
    const std::vector<std::pair<unsigned, unsigned>> opening = {{0, 0}, {0, 1}, {0, 2}, {0, 3},
                                                                {1, 3}, {1, 4}, {1, 5}, {2, 5}};
    const size_t fade = first + 1;
    ASSERT_EQ(rows.size() - fade, 9001u);
    for (size_t i = 0; i < rows.size() - fade; ++i) {
        const row &w = rows[fade + i];
        ASSERT_EQ(w.t, 5000000u + 277u * (i + 1)) << i;
        if (i < opening.size()) {
            EXPECT_EQ(std::make_pair(w.c0, w.c1), opening[i]) << i;
        }
        if (i > 0) {
            const row &p = rows[fade + i - 1];
            EXPECT_LE((w.c0 != p.c0) + (w.c1 != p.c1), 1) << "both channels changed on write " << i;
        }
    }
    EXPECT_EQ(rows.back().c0, 2700u);
    EXPECT_EQ(rows.back().c1, 6300u);
}

// The demonstration's VCD, decoded by GTKWave's own reader, shows exactly what
// the CSV holds, change for change.
TEST_F(Lampsim, DemoWritesItsFilesAndTheVcdDecodesToTheCsv) {
    const run_result r = run("--quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char *f : {"out/demo.csv", "out/demo.vcd", "out/demo.svg"}) {
        EXPECT_TRUE(exists(path(f))) << f;
    }
    const std::string svg = slurp(path("out/demo.svg"));
    EXPECT_NE(svg.find("lampsim: demo"), std::string::npos);
    EXPECT_NE(svg.find("channel 1 (warm white)"), std::string::npos);

    const std::string convert = "cd " + dir +
                                " && vcd2fst out/demo.vcd demo.fst >/dev/null 2>&1 && " +
                                "fst2vcd demo.fst > decoded.vcd 2>/dev/null";
    ASSERT_EQ(std::system(convert.c_str()), 0)
        << "GTKWave's vcd2fst/fst2vcd are needed (Debian package gtkwave)";
    const auto decoded = read_vcd(slurp(path("decoded.vcd")));
    const std::vector<row> rows = read_csv(slurp(path("out/demo.csv")));
    ASSERT_GT(rows.size(), 1000u);
    const char *names[] = {"channel0", "channel1"};
    for (int ch = 0; ch < 2; ++ch) {
        ASSERT_EQ(decoded.count(names[ch]), 1u) << names[ch];
        const changes want = csv_changes(rows, ch);
        const changes &got = decoded.at(names[ch]);
        ASSERT_EQ(got.size(), want.size()) << names[ch];
        for (size_t i = 0; i < want.size(); ++i) {
            ASSERT_EQ(got[i], want[i]) << names[ch] << " change " << i;
        }
    }
    ASSERT_EQ(decoded.count("switch"), 1u);
    EXPECT_GT(decoded.at("switch").size(), 3u);
}

TEST_F(Lampsim, FlashFileCarriesTheSavedStateIntoTheNextRun) {
    const std::string first = "0s init\n3s bright 30\ntemper 60\nsave\n+100ms end\n";
    const std::string second = "0s init\n3s state\n";
    ASSERT_EQ(run("s.txt --flash lamp.bin", first).status, 0);
    EXPECT_EQ(run("s.txt --flash lamp.bin", second)
                      .out.find("bright 30 (LIGHT_OK), temper 60 (LIGHT_OK)") == std::string::npos,
              false);
    // A missing image starts erased: the defaults come back.
    const run_result fresh = run("s.txt --flash other.bin", second);
    EXPECT_NE(fresh.out.find("bright 100 (LIGHT_OK), temper 0 (LIGHT_OK)"), std::string::npos)
        << fresh.out;
    EXPECT_TRUE(exists(path("other.bin")));
}

TEST_F(Lampsim, AWrongLineStopsTheRunBeforeAnythingIsWritten) {
    const run_result r = run("s.txt --csv a.csv --vcd a.vcd --plot a.svg --flash a.bin",
                             "0s init\n+1s bright 70000\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "s.txt:2: value 70000 is outside 0..65535 (uint16_t)\n");
    EXPECT_TRUE(r.out.empty());
    for (const char *f : {"a.csv", "a.vcd", "a.svg", "a.bin"}) {
        EXPECT_FALSE(exists(path(f))) << f;
    }
    EXPECT_EQ(run("--bogus").status, 2);
}
