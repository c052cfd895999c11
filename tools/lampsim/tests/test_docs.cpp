// docs/lampsim.md shows what lampsim does: its command table is the one the
// program generates, and its worked example is a scenario file of the tests,
// with the timeline lampsim prints for it, line for line.
#include "help.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
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

std::string stdout_of(const std::string &command) {
    std::string out;
    std::FILE *p = popen(command.c_str(), "r");
    char buf[4096];
    size_t n = 0;
    while (p != nullptr && (n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        out.append(buf, n);
    }
    EXPECT_EQ(p != nullptr ? pclose(p) : -1, 0) << command;
    return out;
}

const std::string doc = slurp(SOURCE_DIR "/docs/lampsim.md");

} // namespace

TEST(Docs, CommandTableIsTheOneTheProgramGenerates) {
    EXPECT_EQ(
        section(doc, "<!-- commands: lampsim --commands-table -->\n", "<!-- end of commands -->"),
        lampsim::commands_markdown());
}

TEST(Docs, WorkedExampleIsTheTestScenarioAndItsTimeline) {
    const std::string file = "tests/scenarios/worked_example.lamp";
    EXPECT_EQ(section(doc, "<!-- example: " + file + " -->\n```\n", "```"),
              slurp(SOURCE_DIR "/" + file));
    EXPECT_EQ(section(doc, "<!-- example output -->\n```\n", "```"),
              stdout_of(std::string("cd " SOURCE_DIR " && ") + LAMPSIM_BIN + " " + file));
}
