// The scenario language: times, arguments and every kind of wrong line.
#include "scenario.h"

#include <gtest/gtest.h>

using namespace lampsim;

TEST(ScenarioParser, TimesAreAbsoluteRelativeOrInheritedAndRunAdvances) {
    const parse_result ok = parse_scenario("# a comment line\n"
                                           "1.5s init\n"
                                           "+250ms bright 70   # trailing comment\n"
                                           "temper 30\n"
                                           "2s run 1.000250s\n"
                                           "+300us state\n",
                                           "s.txt");
    ASSERT_TRUE(ok.ok) << ok.error;
    const auto &c = ok.value.commands;
    ASSERT_EQ(c.size(), 5u);
    const uint64_t want_at[] = {1500000, 1750000, 1750000, 3000250, 3000550};
    for (size_t i = 0; i < c.size(); ++i) {
        EXPECT_EQ(c[i].at_us, want_at[i]) << c[i].text;
    }
    EXPECT_EQ(c[1].kind, op::bright_set);
    EXPECT_EQ(c[1].a, 70);
    EXPECT_EQ(c[1].line, 3u);
    EXPECT_EQ(c[1].text, "bright 70");
}

TEST(ScenarioParser, ReadableNamesAndEnumerationNamesGiveTheModulesValues) {
    struct row {
        const char *line;
        op kind;
        int64_t a, b, c;
    } rows[] = {
        {"process gradual", op::process, 0, 0, 0},
        {"process SWITCH_DIRECT", op::process, 1, 0, 0},
        {"process 7", op::process, 7, 0, 0},
        {"switch off", op::switch_set, 0, 0, 0},
        {"adjust bright-", op::adjust, 2, 0, 0},
        {"adjust TEMPER_INC", op::adjust, 3, 0, 0},
        {"adjust 9", op::adjust, 9, 0, 0},
        {"countdown -1", op::countdown, -1, 0, 0},
        {"countdown 90000", op::countdown, 90000, 0, 0},
        {"bright 250", op::bright_set, 250, 0, 0},
        {"blink off 3 500", op::blink, 2, 3, 500},
        {"blink WITH_START 255 65535", op::blink, 0, 255, 65535},
        {"save-after 4294967295", op::save_after, 4294967295, 0, 0},
        {"nvm-fail on", op::nvm_fail, 1, 0, 0},
    };
    for (const row &r : rows) {
        const parse_result p = parse_scenario(r.line, "t");
        ASSERT_TRUE(p.ok) << r.line << ": " << p.error;
        const command &c = p.value.commands.at(0);
        EXPECT_EQ(c.kind, r.kind) << r.line;
        EXPECT_EQ(c.a, r.a) << r.line;
        EXPECT_EQ(c.b, r.b) << r.line;
        EXPECT_EQ(c.c, r.c) << r.line;
    }
    const parse_result cfg = parse_scenario("config mode=cw way=c gradual=1200\ninit\n", "t");
    ASSERT_TRUE(cfg.ok) << cfg.error;
    const lamp_config &k = cfg.value.commands[0].config;
    EXPECT_TRUE(k.set_mode && k.set_way && k.set_gradual);
    EXPECT_EQ(k.bright_mode, 0);
    EXPECT_EQ(k.light_way, 0);
    EXPECT_EQ(k.gradual_ms, 1200u);
}

TEST(ScenarioParser, WrongLinesNameTheirFileAndLine) {
    struct row {
        const char *text;
        const char *error;
    } rows[] = {
        {"init\nfrobnicate\n", "f:2: unknown command 'frobnicate'"},
        {"bright seventy", "f:1: bad value 'seventy' (a number)"},
        {"bright 65536", "f:1: value 65536 is outside 0..65535 (uint16_t)"},
        {"temper -1", "f:1: value -1 is outside 0..65535 (uint16_t)"},
        {"blink on 256 500", "f:1: blink count 256 is outside 0..255 (uint8_t)"},
        {"blink on 3", "f:1: blink takes 3 arguments: start|on|off COUNT PERIOD_MS, got 2"},
        {"countdown 2147483648",
         "f:1: countdown 2147483648 is outside -2147483648..2147483647 (int32_t)"},
        {"switch maybe", "f:1: bad on/off 'maybe' (on|off|true|false or a number)"},
        {"state now", "f:1: state takes 0 arguments, got 1"},
        {"2s init\n\n# gap\n1s state\n",
         "f:4: time goes backwards: 1s is before the previous line's 2000000us"},
        {"1.5x init", "f:1: bad time '1.5x' (a number with s, ms or us, like 1.5s, 250ms, 300us)"},
        {"1.0005ms init", "f:1: time '1.0005ms' is finer than 1 us"},
        {"+1s", "f:1: a time needs a command after it"},
        {"run soon", "f:1: bad time 'soon' (a number with s, ms or us, like 1.5s, 250ms, 300us)"},
        {"config mode=rgb",
         "f:1: bad mode 'rgb' (cw|cct|BRIGHT_MODE_CW|BRIGHT_MODE_CCT or a number)"},
        {"config speed=3", "f:1: unknown config key 'speed' (mode, way, gradual)"},
        {"init\nconfig mode=cw",
         "f:2: config goes before init (at the start, or after a power-cut)"},
        {"init\npower-cut\nbright 5",
         "f:3: bright on a lamp without power: init (the power-on) comes first"},
        {"end\nstate", "f:2: nothing may follow end"},
    };
    for (const row &r : rows) {
        const parse_result p = parse_scenario(r.text, "f");
        EXPECT_FALSE(p.ok) << r.text;
        EXPECT_EQ(p.error, r.error);
        EXPECT_TRUE(p.value.commands.empty());
    }
    // After a power cut the lamp may be configured again before its power-on.
    EXPECT_TRUE(parse_scenario("init\npower-cut\nconfig mode=cw\ninit\nstate\n", "f").ok);
}
