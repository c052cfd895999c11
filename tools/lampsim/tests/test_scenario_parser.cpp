// The scenario language: times, arguments and every kind of wrong line.
#include "commands.h"
#include "scenario.h"

#include <gtest/gtest.h>

using namespace lampsim;

namespace {
std::string name_of(const step &s) {
    return command_table[s.index].name;
}
} // namespace

TEST(ScenarioParser, TimesAreAbsoluteRelativeOrInheritedAndRunAdvances) {
    const parse_result ok = parse_scenario("# a comment line\n"
                                           "1.5s init\n"
                                           "+250ms bright 70   # trailing comment\n"
                                           "temper 30\n"
                                           "2s run 1.000250s\n"
                                           "+300us state\n",
                                           "s.lamp");
    ASSERT_TRUE(ok.ok) << ok.error;
    const std::vector<uint64_t> at = {1500000, 1750000, 1750000, 3000250, 3000550};
    ASSERT_EQ(ok.value.steps.size(), at.size());
    for (size_t i = 0; i < at.size(); ++i) {
        EXPECT_EQ(ok.value.steps[i].at_us, at[i]) << i;
    }
    EXPECT_EQ(ok.value.lines[1], 3u);
    EXPECT_EQ(ok.value.texts[1], "bright 70");
}

// The words the scenario files use are checked by their runs; these are the
// others, the enumeration names and the extremes.
TEST(ScenarioParser, WordsAndEnumerationNamesGiveTheModulesValues) {
    struct row {
        const char *line;
        const char *command;
        std::vector<int64_t> args;
    } rows[] = {
        {"process SWITCH_DIRECT", "process", {1}},
        {"process 7", "process", {7}},
        {"adjust TEMPER_INC", "adjust", {3}},
        {"bright 0x10", "bright", {16}},
        {"blink WITH_START 255 65535", "blink", {0, 255, 65535}},
        {"save-after 4294967295", "save-after", {4294967295}},
        {"config gradual=1200 mode=cw", "config", {0, -1, 1200}},
    };
    for (const row &r : rows) {
        const parse_result p = parse_scenario(std::string("switch on\n") + r.line, "t");
        ASSERT_TRUE(p.ok) << r.line << ": " << p.error;
        const step &s = p.value.steps.at(1);
        EXPECT_EQ(name_of(s), r.command) << r.line;
        EXPECT_EQ(std::vector<int64_t>(s.args, s.args + s.argc), r.args) << r.line;
    }
}

TEST(ScenarioParser, WrongLinesNameTheirFileAndLineAndWhatIsWrong) {
    struct row {
        const char *text;
        const char *error;
    } rows[] = {
        {"init\nbrightness 70\n", "f:2: unknown command 'brightness' (did you mean 'bright'?)"},
        {"frobnicate", "f:1: unknown command 'frobnicate' (lampsim --help lists the commands)"},
        {"init\nexpect output 1 2",
         "f:2: unknown expectation 'output' (did you mean 'expect outputs'?)"},
        {"expect", "f:1: expect what? (outputs, switch, bright, temper, countdown, blink, result, "
                   "fading, saved)"},
        {"-5s init",
         "f:1: a time cannot be negative: '-5s' (times count from the start of the run, 0s)"},
        {"bright seventy", "f:1: bad value 'seventy' (a number)"},
        {"bright 65536", "f:1: value '65536' is outside 0..65535 (uint16_t)"},
        {"blink on 256 500", "f:1: blink count '256' is outside 0..255 (uint8_t)"},
        {"blink on 3", "f:1: blink takes 3 arguments: blink start|on|off COUNT PERIOD_MS, got 2"},
        {"state now", "f:1: state takes 0 arguments, got 1"},
        {"switch maybe", "f:1: bad on/off 'maybe' (on|off|true|false or a number)"},
        {"expect fading 1", "f:1: bad fading '1' (yes|no)"},
        {"expect saved 1 2", "f:1: expect saved takes 3 arguments: expect saved none|P B T, got 2"},
        {"bright \x01\xffxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx",
         "f:1: bad value '\\x01\\xffxxxxxxxxxxxxxxxxxxxxxx'... (a number)"},
        {"2s init\n\n# gap\n500ms state\n",
         "f:4: time goes backwards: 500ms is before the previous line's 2s"},
        {"1.5x init", "f:1: bad time '1.5x' (a number with s, ms or us, like 1.5s, 250ms, 300us)"},
        {"1.0005ms init", "f:1: time '1.0005ms' is finer than 1 us"},
        {"9007199255s init", "f:1: time '9007199255s' is beyond the clock's range (up to "
                             "9007199254.740992s, about 285 years)"},
        {"9007199254s init\n+1s state", "f:2: time '+1s' goes beyond the clock's range "
                                        "(9007199254s + 1s, up to 9007199254.740992s, "
                                        "about 285 years)"},
        {"9007199254s run 1s",
         "f:1: run '1s' goes beyond the clock's range (9007199254s + 1s, up to "
         "9007199254.740992s, about "
         "285 years)"},
        {"+1s", "f:1: a time needs a command after it"},
        {"config mode=rgb",
         "f:1: bad mode 'rgb' (cw|cct|BRIGHT_MODE_CW|BRIGHT_MODE_CCT or a number)"},
        {"config speed=3",
         "f:1: unknown config key 'speed' (config mode=cw|cct way=c|cw gradual=MS)"},
        {"config mode",
         "f:1: config setting 'mode' is not key=value (config mode=cw|cct way=c|cw gradual=MS)"},
        {"config mode=cw mode=cct", "f:1: config sets mode twice"},
        {"init\nconfig mode=cw",
         "f:2: config goes before init (at the start, or after a power-cut)"},
        {"init\npower-cut\nbright 5",
         "f:3: bright on a lamp without power: init (the power-on) comes first"},
        {"power-cut\npower-cut",
         "f:2: power-cut on a lamp without power: init (the power-on) comes first"},
        {"expect result LIGHT_OK",
         "f:1: expect result needs an operation before it (since the power-on)"},
        {"save\npower-cut\ninit\nexpect result LIGHT_OK",
         "f:4: expect result needs an operation before it (since the power-on)"},
        {"end\nstate", "f:2: nothing may follow end"},
    };
    for (const row &r : rows) {
        const parse_result p = parse_scenario(r.text, "f");
        EXPECT_FALSE(p.ok) << r.text;
        EXPECT_EQ(p.error, r.error);
        EXPECT_TRUE(p.value.steps.empty());
    }
    // After a power cut the lamp may be configured again before its power-on.
    EXPECT_TRUE(
        parse_scenario("init\npower-cut\nconfig mode=cw\nnvm-fail on\ninit\nstate\n", "f").ok);
}

// Hostile lines: a word of a megabyte, wherever it stands, comes back cut in
// the message, and a line of a million words is refused by its count. The
// suggestion search is bounded (a 10 MB word: bench/lampsim/hostile_lines.py).
TEST(ScenarioParser, HugeWordsAndLinesAreRefusedWithTheWordCut) {
    const std::string huge(1u << 20, '7');
    const std::string cut = "'" + huge.substr(0, 24) + "'...";
    struct row {
        std::string text, error;
    } rows[] = {
        {"init\n" + huge + "x",
         "f:2: bad time " + cut + " (a number with s, ms or us, like 1.5s, 250ms, 300us)"},
        {"z" + huge, "f:1: unknown command 'z" + huge.substr(0, 23) +
                         "'... (lampsim --help lists the commands)"},
        {"expect z" + huge,
         "f:1: unknown expectation 'z" + huge.substr(0, 23) + "'... (lampsim --help lists them)"},
        {"bright " + huge, "f:1: value " + cut + " is outside 0..65535 (uint16_t)"},
        {"run " + huge + "s", "f:1: time '" + huge.substr(0, 24) +
                                  "'... is beyond the clock's range (up to 9007199254.740992s, "
                                  "about 285 years)"},
        {"state" + std::string(1u << 20, ' ') + "1 2 3 4 5 6 7 8 9 10",
         "f:1: state takes 0 arguments, got 10"},
    };
    for (const row &r : rows) {
        const parse_result p = parse_scenario(r.text, "f");
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.error, r.error);
    }
    // A long word of a good line shows cut in the timeline too.
    const parse_result ok =
        parse_scenario("bright 0x" + std::string(40, '0') + "46\nexpect bright 70", "f");
    ASSERT_TRUE(ok.ok) << ok.error;
    EXPECT_EQ(ok.value.steps[0].args[0], 70);
    EXPECT_EQ(ok.value.texts[0], "bright 0x0000000000000000000000...");
}
