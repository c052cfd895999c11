#include "scenario.h"

#include <cctype>
#include <sstream>

namespace lampsim {
namespace {

struct named {
    const char *name;
    int64_t value;
};

// Every argument is checked against the C type the module's operation takes.
struct arg_type {
    const char *what;
    const char *c_type;
    int64_t min, max;
    std::vector<named> names;
};

const arg_type switch_mode{
    "switch mode",
    "light_switch_mode_t",
    0,
    255,
    {{"gradual", 0}, {"direct", 1}, {"SWITCH_GRADUAL", 0}, {"SWITCH_DIRECT", 1}}};
const arg_type on_off{"on/off", "bool", 0, 1, {{"on", 1}, {"off", 0}, {"true", 1}, {"false", 0}}};
const arg_type u16_value{"value", "uint16_t", 0, 65535, {}};
const arg_type adjust_kind{"adjustment",
                           "light_adjusted_mode_t",
                           0,
                           255,
                           {{"none", 0},
                            {"bright+", 1},
                            {"bright-", 2},
                            {"temper+", 3},
                            {"temper-", 4},
                            {"ADJUST_NONE", 0},
                            {"BRIGHT_INC", 1},
                            {"BRIGHT_DEC", 2},
                            {"TEMPER_INC", 3},
                            {"TEMPER_DEC", 4}}};
const arg_type countdown_sec{"countdown", "int32_t", INT32_MIN, INT32_MAX, {}};
const arg_type blink_end{
    "blink end state",
    "blink_end_state_t",
    0,
    255,
    {{"start", 0}, {"on", 1}, {"off", 2}, {"WITH_START", 0}, {"WITH_ON", 1}, {"WITH_OFF", 2}}};
const arg_type blink_count{"blink count", "uint8_t", 0, 255, {}};
const arg_type blink_period{"blink period", "uint16_t", 0, 65535, {}};
const arg_type delay_ms{"delay", "uint32_t", 0, UINT32_MAX, {}};
const arg_type bright_mode{"mode",
                           "bright_mode_t",
                           0,
                           255,
                           {{"cw", 0}, {"cct", 1}, {"BRIGHT_MODE_CW", 0}, {"BRIGHT_MODE_CCT", 1}}};
const arg_type light_way{
    "way", "ctrl_light_way_t", 0, 255, {{"c", 0}, {"cw", 1}, {"LIGHT_C", 0}, {"LIGHT_CW", 1}}};

struct failure {
    std::string why;
};

bool parse_integer(const std::string &word, int64_t &out) {
    size_t i = 0;
    bool negative = false;
    if (i < word.size() && (word[i] == '-' || word[i] == '+')) {
        negative = word[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (word.size() > i + 2 && word[i] == '0' && (word[i + 1] == 'x' || word[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == word.size()) {
        return false;
    }
    uint64_t v = 0;
    for (; i < word.size(); ++i) {
        const int c = std::tolower(static_cast<unsigned char>(word[i]));
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else {
            return false;
        }
        v = v * base + digit;
        if (v > (uint64_t{1} << 40)) {
            return false; // far outside every argument type
        }
    }
    out = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    return true;
}

int64_t argument(const std::string &word, const arg_type &type) {
    for (const named &n : type.names) {
        if (word == n.name) {
            return n.value;
        }
    }
    int64_t v = 0;
    if (!parse_integer(word, v)) {
        std::string known;
        for (const named &n : type.names) {
            known += known.empty() ? "" : "|";
            known += n.name;
        }
        throw failure{"bad " + std::string(type.what) + " '" + word + "'" +
                      (known.empty() ? " (a number)" : " (" + known + " or a number)")};
    }
    if (v < type.min || v > type.max) {
        throw failure{std::string(type.what) + " " + word + " is outside " +
                      std::to_string(type.min) + ".." + std::to_string(type.max) + " (" +
                      type.c_type + ")"};
    }
    return v;
}

void expect_args(const std::vector<std::string> &words, size_t want, const char *usage) {
    if (words.size() - 1 != want) {
        throw failure{words[0] + " takes " + std::to_string(want) +
                      (want == 1 ? " argument" : " arguments") +
                      (want != 0 ? std::string(": ") + usage : std::string()) + ", got " +
                      std::to_string(words.size() - 1)};
    }
}

lamp_config parse_config(const std::vector<std::string> &words) {
    if (words.size() < 2) {
        throw failure{"config takes key=value settings: mode=cw|cct way=c|cw gradual=MS"};
    }
    lamp_config cfg;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string &w = words[i];
        const size_t eq = w.find('=');
        if (eq == std::string::npos) {
            throw failure{"config setting '" + w + "' is not key=value"};
        }
        const std::string key = w.substr(0, eq);
        const std::string value = w.substr(eq + 1);
        if (key == "mode") {
            cfg.set_mode = true;
            cfg.bright_mode = static_cast<uint8_t>(argument(value, bright_mode));
        } else if (key == "way") {
            cfg.set_way = true;
            cfg.light_way = static_cast<uint8_t>(argument(value, light_way));
        } else if (key == "gradual") {
            cfg.set_gradual = true;
            cfg.gradual_ms = static_cast<uint32_t>(argument(value, delay_ms));
        } else {
            throw failure{"unknown config key '" + key + "' (mode, way, gradual)"};
        }
    }
    return cfg;
}

std::vector<std::string> split(const std::string &line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string w;
    while (in >> w) {
        words.push_back(w);
    }
    return words;
}

// Where in the power cycle the scenario is, for the checks that depend on it.
struct cycle {
    bool powered = true;
    bool started = false; // init run since the last power-on
    bool ended = false;
};

bool is_operation(op kind) {
    switch (kind) {
    case op::config:
    case op::power_cut:
    case op::nvm_fail:
    case op::run:
    case op::end:
    case op::init:
        return false;
    default:
        return true;
    }
}

command parse_command(const std::vector<std::string> &words, cycle &state) {
    command c;
    const std::string &name = words[0];
    if (name == "init") {
        expect_args(words, 0, "");
        c.kind = op::init;
    } else if (name == "process") {
        expect_args(words, 1, "gradual|direct");
        c.kind = op::process;
        c.a = argument(words[1], switch_mode);
    } else if (name == "switch") {
        expect_args(words, 1, "on|off");
        c.kind = op::switch_set;
        c.a = argument(words[1], on_off);
    } else if (name == "bright") {
        expect_args(words, 1, "N");
        c.kind = op::bright_set;
        c.a = argument(words[1], u16_value);
    } else if (name == "temper") {
        expect_args(words, 1, "N");
        c.kind = op::temper_set;
        c.a = argument(words[1], u16_value);
    } else if (name == "adjust") {
        expect_args(words, 1, "bright+|bright-|temper+|temper-");
        c.kind = op::adjust;
        c.a = argument(words[1], adjust_kind);
    } else if (name == "countdown") {
        expect_args(words, 1, "SECONDS");
        c.kind = op::countdown;
        c.a = argument(words[1], countdown_sec);
    } else if (name == "blink") {
        expect_args(words, 3, "start|on|off COUNT PERIOD_MS");
        c.kind = op::blink;
        c.a = argument(words[1], blink_end);
        c.b = argument(words[2], blink_count);
        c.c = argument(words[3], blink_period);
    } else if (name == "save") {
        expect_args(words, 0, "");
        c.kind = op::save;
    } else if (name == "save-after") {
        expect_args(words, 1, "MS");
        c.kind = op::save_after;
        c.a = argument(words[1], delay_ms);
    } else if (name == "scene") {
        expect_args(words, 0, "");
        c.kind = op::scene;
    } else if (name == "state") {
        expect_args(words, 0, "");
        c.kind = op::state;
    } else if (name == "config") {
        c.kind = op::config;
        c.config = parse_config(words);
    } else if (name == "power-cut") {
        expect_args(words, 0, "");
        c.kind = op::power_cut;
    } else if (name == "nvm-fail") {
        expect_args(words, 1, "on|off");
        c.kind = op::nvm_fail;
        c.a = argument(words[1], on_off);
    } else if (name == "run") {
        expect_args(words, 1, "DURATION");
        c.kind = op::run;
        std::string why;
        uint64_t us = 0;
        if (!parse_duration(words[1], us, why)) {
            throw failure{why};
        }
        c.a = static_cast<int64_t>(us);
    } else if (name == "end") {
        expect_args(words, 0, "");
        c.kind = op::end;
    } else {
        throw failure{"unknown command '" + name + "'"};
    }

    if (c.kind == op::config && state.started) {
        throw failure{"config goes before init (at the start, or after a power-cut)"};
    }
    if (is_operation(c.kind) && !state.powered) {
        throw failure{name + " on a lamp without power: init (the power-on) comes first"};
    }
    if (c.kind == op::init) {
        state.powered = true;
        state.started = true;
    } else if (c.kind == op::power_cut) {
        state.powered = false;
        state.started = false;
    } else if (c.kind == op::end) {
        state.ended = true;
    }
    return c;
}

} // namespace

bool parse_duration(const std::string &word, uint64_t &us, std::string &why) {
    size_t i = 0;
    uint64_t whole = 0;
    uint64_t frac = 0, frac_scale = 1;
    bool digits = false;
    for (; i < word.size() && std::isdigit(static_cast<unsigned char>(word[i])); ++i) {
        whole = whole * 10 + static_cast<uint64_t>(word[i] - '0');
        digits = true;
        if (whole > (uint64_t{1} << 40)) {
            why = "time '" + word + "' is too large";
            return false;
        }
    }
    if (i < word.size() && word[i] == '.') {
        for (++i; i < word.size() && std::isdigit(static_cast<unsigned char>(word[i])); ++i) {
            if (frac_scale >= 1000000000000ull) {
                why = "time '" + word + "' has too many decimals";
                return false;
            }
            frac = frac * 10 + static_cast<uint64_t>(word[i] - '0');
            frac_scale *= 10;
            digits = true;
        }
    }
    const std::string unit = word.substr(i);
    uint64_t per_unit = 0;
    if (unit == "s") {
        per_unit = 1000000;
    } else if (unit == "ms") {
        per_unit = 1000;
    } else if (unit == "us") {
        per_unit = 1;
    }
    if (!digits || per_unit == 0) {
        why = "bad time '" + word + "' (a number with s, ms or us, like 1.5s, 250ms, 300us)";
        return false;
    }
    if ((frac * per_unit) % frac_scale != 0) {
        why = "time '" + word + "' is finer than 1 us";
        return false;
    }
    us = whole * per_unit + frac * per_unit / frac_scale;
    return true;
}

parse_result parse_scenario(const std::string &text, const std::string &file_name) {
    parse_result result;
    cycle state;
    uint64_t now = 0;
    std::istringstream in(text);
    std::string line;
    unsigned number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::string code = line.substr(0, line.find('#'));
        std::vector<std::string> words = split(code);
        if (words.empty()) {
            continue;
        }
        try {
            if (state.ended) {
                throw failure{"nothing may follow end"};
            }
            const char first = words[0][0];
            if (first == '+' || std::isdigit(static_cast<unsigned char>(first))) {
                const bool relative = first == '+';
                std::string why;
                uint64_t t = 0;
                if (!parse_duration(relative ? words[0].substr(1) : words[0], t, why)) {
                    throw failure{why};
                }
                if (!relative && t < now) {
                    throw failure{"time goes backwards: " + words[0] +
                                  " is before the previous line's " + std::to_string(now) + "us"};
                }
                now = relative ? now + t : t;
                words.erase(words.begin());
                if (words.empty()) {
                    throw failure{"a time needs a command after it"};
                }
            }
            command c = parse_command(words, state);
            if (c.kind == op::run) {
                now += static_cast<uint64_t>(c.a);
            }
            c.at_us = now;
            c.line = number;
            std::string shown;
            for (const std::string &w : words) {
                shown += shown.empty() ? w : " " + w;
            }
            c.text = shown;
            result.value.commands.push_back(c);
        } catch (const failure &f) {
            result.error = file_name + ":" + std::to_string(number) + ": " + f.why;
            result.value = {};
            return result;
        }
    }
    result.ok = true;
    return result;
}

} // namespace lampsim
