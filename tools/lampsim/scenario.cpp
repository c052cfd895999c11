#include "scenario.h"

#include "help.h"

#include <algorithm>
#include <cctype>

namespace lampsim {
namespace {

struct failure {
    std::string why;
};

constexpr size_t quoted_chars = 24;

// Decimal or 0x hexadecimal, with a sign; magnitudes beyond 2^62 stay there
// (every argument type's range is far inside).
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
    constexpr uint64_t cap = uint64_t{1} << 62;
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
        v = v >= cap / base ? cap : v * base + digit;
    }
    out = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    return true;
}

std::string word_list(const arg_type &type) {
    std::string known;
    for (uint8_t i = 0; i < type.word_count; ++i) {
        known += (i == 0 ? "" : "|") + std::string(type.words[i].word);
    }
    return known;
}

int64_t argument(const std::string &word, const arg_type &type) {
    for (uint8_t i = 0; i < type.word_count; ++i) {
        if (word == type.words[i].word) {
            return type.words[i].value;
        }
    }
    if (type.duration) {
        uint64_t us = 0;
        std::string why;
        if (!parse_duration(word, us, why)) {
            throw failure{why};
        }
        return static_cast<int64_t>(us);
    }
    int64_t v = 0;
    if (!type.numbers || !parse_integer(word, v)) {
        const std::string known = word_list(type);
        throw failure{"bad " + std::string(type.what) + " " + quote(word) + " (" +
                      (known.empty() ? "a number" : known + (type.numbers ? " or a number" : "")) +
                      ")"};
    }
    if (v < type.min || v > type.max) {
        throw failure{std::string(type.what) + " " + quote(word) + " is outside " +
                      std::to_string(type.min) + ".." + std::to_string(type.max) + " (" +
                      type.c_type + ")"};
    }
    return v;
}

// The words of a line before its comment. Only the first max_kept are kept:
// no line of the language has more, and a hostile line of millions of words
// then costs no more memory than its text.
constexpr size_t max_kept = 8;

struct line_words {
    std::vector<std::string> kept;
    size_t count = 0; // all of them
};

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

line_words split(const std::string &text, size_t from, size_t to) {
    line_words out;
    size_t i = from;
    while (i < to && text[i] != '#') {
        if (is_blank(text[i])) {
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < to && text[i] != '#' && !is_blank(text[i])) {
            ++i;
        }
        if (out.kept.size() < max_kept) {
            out.kept.emplace_back(text, start, i - start);
        }
        ++out.count;
    }
    return out;
}

const command_spec *find_command(const std::vector<std::string> &words, size_t &used) {
    const std::string &first = words[0];
    if (first == "expect") {
        std::vector<std::string> kinds;
        for (uint8_t i = 0; i < command_count; ++i) {
            if (command_table[i].kind == step_kind::expect) {
                kinds.push_back(command_table[i].name + 7);
            }
        }
        if (words.size() < 2) {
            std::string list;
            for (const std::string &k : kinds) {
                list += (list.empty() ? "" : ", ") + k;
            }
            throw failure{"expect what? (" + list + ")"};
        }
        const std::string name = "expect " + words[1];
        for (uint8_t i = 0; i < command_count; ++i) {
            if (name == command_table[i].name) {
                used = 2;
                return &command_table[i];
            }
        }
        const std::string near = nearest(words[1], kinds);
        throw failure{"unknown expectation " + quote(words[1]) +
                      (near.empty() ? std::string(" (lampsim --help lists them)")
                                    : " (did you mean 'expect " + near + "'?)")};
    }
    std::vector<std::string> names;
    for (uint8_t i = 0; i < command_count; ++i) {
        if (first == command_table[i].name) {
            used = 1;
            return &command_table[i];
        }
        if (command_table[i].kind != step_kind::expect) {
            names.push_back(command_table[i].name);
        }
    }
    names.push_back("expect");
    if (first.size() > 1 && first[0] == '-' &&
        (std::isdigit(static_cast<unsigned char>(first[1])) || first[1] == '.')) {
        throw failure{"a time cannot be negative: " + quote(first) +
                      " (times count from the start of the run, 0s)"};
    }
    const std::string near = nearest(first, names);
    throw failure{"unknown command " + quote(first) +
                  (near.empty() ? std::string(" (lampsim --help lists the commands)")
                                : " (did you mean '" + near + "'?)")};
}

step parse_step(const line_words &words, power_cycle &state) {
    size_t used = 0;
    const command_spec &c = *find_command(words.kept, used);
    step s{};
    s.index = static_cast<uint8_t>(&c - command_table);
    const std::vector<std::string> given(words.kept.begin() + static_cast<std::ptrdiff_t>(used),
                                         words.kept.end());
    const size_t given_count = words.count - used;

    bool keyed = c.arg_count > 0 && c.args[0].key != nullptr;
    if (keyed) {
        if (given.empty()) {
            throw failure{c.name + std::string(" takes settings: ") + usage_line(c)};
        }
        for (unsigned i = 0; i < c.arg_count; ++i) {
            s.args[i] = -1;
        }
        s.argc = c.arg_count;
        for (const std::string &w : given) {
            const size_t eq = w.find('=');
            unsigned k = 0;
            while (k < c.arg_count &&
                   (eq == std::string::npos || w.compare(0, eq, c.args[k].key) != 0 ||
                    eq != std::string(c.args[k].key).size())) {
                ++k;
            }
            if (eq == std::string::npos) {
                throw failure{c.name + std::string(" setting ") + quote(w) + " is not key=value (" +
                              usage_line(c) + ")"};
            }
            if (k == c.arg_count) {
                throw failure{"unknown " + std::string(c.name) + " key " + quote(w.substr(0, eq)) +
                              " (" + usage_line(c) + ")"};
            }
            if (s.args[k] != -1) {
                throw failure{c.name + std::string(" sets ") + c.args[k].key + " twice"};
            }
            s.args[k] = argument(w.substr(eq + 1), *c.args[k].type);
        }
    } else if (c.or_none && given_count == 1 && given[0] == "none") {
        s.argc = 1;
        s.args[0] = 0;
    } else {
        if (given_count != c.arg_count) {
            throw failure{c.name + std::string(" takes ") + std::to_string(c.arg_count) +
                          (c.arg_count == 1 ? " argument" : " arguments") +
                          (c.arg_count != 0 || c.or_none ? ": " + usage_line(c) : std::string()) +
                          ", got " + std::to_string(given_count)};
        }
        const unsigned first = c.or_none ? 1u : 0u;
        if (c.or_none) {
            s.args[0] = 1;
        }
        for (unsigned i = 0; i < c.arg_count; ++i) {
            s.args[first + i] = argument(given[i], *c.args[i].type);
        }
        s.argc = static_cast<uint8_t>(first + c.arg_count);
    }

    const bool operation =
        c.kind == step_kind::call || c.kind == step_kind::report || c.kind == step_kind::expect;
    if (c.kind == step_kind::config && state.started) {
        throw failure{"config goes before init (at the start, or after a power-cut)"};
    }
    if ((operation || c.kind == step_kind::power_cut) && !state.powered) {
        throw failure{c.name +
                      std::string(" on a lamp without power: init (the power-on) comes first")};
    }
    if (c.kind == step_kind::expect && c.field == snap_result && !state.has_result) {
        throw failure{"expect result needs an operation before it (since the power-on)"};
    }
    if (c.has_result) {
        state.has_result = true;
    }
    if (c.kind == step_kind::init) {
        if (!state.powered) {
            state.has_result = false;
        }
        state.powered = true;
        state.started = true;
    } else if (c.kind == step_kind::power_cut) {
        state = power_cycle{};
        state.powered = false;
    } else if (c.kind == step_kind::end) {
        state.ended = true;
    }
    return s;
}

std::string range_text() {
    return format_duration(max_time_us) + ", about 285 years";
}

} // namespace

namespace {

// The word printable (other bytes as \xNN) and cut to quoted_chars; true if cut.
bool escape_cut(const std::string &word, std::string &out) {
    static const char hex[] = "0123456789abcdef";
    for (size_t i = 0; i < word.size(); ++i) {
        if (i == quoted_chars) {
            return true;
        }
        const unsigned char c = static_cast<unsigned char>(word[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return false;
}

// Edit distance (insert, delete, replace, swap of neighbours), in three
// rolling rows: memory in the name's length, time in the product of both.
size_t edit_distance(const std::string &a, const std::string &b) {
    std::vector<size_t> before(b.size() + 1), last(b.size() + 1), row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        last[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            row[j] = std::min(
                {last[j] + 1, row[j - 1] + 1, last[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                row[j] = std::min(row[j], before[j - 2] + 1);
            }
        }
        before.swap(last);
        last.swap(row);
    }
    return last[b.size()];
}

} // namespace

std::string quote(const std::string &word) {
    std::string out = "'";
    const bool cut = escape_cut(word, out);
    return out + (cut ? "'..." : "'");
}

std::string shown_word(const std::string &word) {
    std::string out;
    return escape_cut(word, out) ? out + "..." : out;
}

std::string nearest(const std::string &word, const std::vector<std::string> &names) {
    constexpr size_t most_edits = 2;
    // A word much longer than every name is near none of them: checked first,
    // so a hostile word costs nothing but this.
    size_t longest = 0;
    for (const std::string &n : names) {
        longest = std::max(longest, n.size());
    }
    if (word.size() > longest + 4) {
        return "";
    }
    std::string best;
    size_t best_distance = most_edits + 1;
    for (const std::string &n : names) {
        const size_t shorter = std::min(word.size(), n.size());
        const size_t apart = std::max(word.size(), n.size()) - shorter;
        size_t distance = most_edits + 1;
        if (shorter >= 3 && word.compare(0, shorter, n, 0, shorter) == 0) {
            distance = 1; // one is the other's start
        } else if (apart <= most_edits) {
            distance = edit_distance(word, n);
        }
        if (distance < best_distance) {
            best_distance = distance;
            best = n;
        }
    }
    return best;
}

bool parse_duration(const std::string &word, uint64_t &us, std::string &why) {
    size_t i = 0;
    uint64_t whole = 0;
    std::string frac;
    bool digits = false, too_large = false;
    for (; i < word.size() && std::isdigit(static_cast<unsigned char>(word[i])); ++i) {
        digits = true;
        if (whole > max_time_us) {
            too_large = true;
        } else {
            whole = whole * 10 + static_cast<uint64_t>(word[i] - '0');
        }
    }
    if (i < word.size() && word[i] == '.') {
        for (++i; i < word.size() && std::isdigit(static_cast<unsigned char>(word[i])); ++i) {
            frac += word[i];
            digits = true;
        }
    }
    const std::string unit = word.substr(i);
    unsigned decimals = 0; // of the unit that are whole microseconds
    if (unit == "s") {
        decimals = 6;
    } else if (unit == "ms") {
        decimals = 3;
    } else if (unit != "us" || !digits) {
        decimals = 99;
    }
    if (!digits || decimals == 99) {
        why = "bad time " + quote(word) + " (a number with s, ms or us, like 1.5s, 250ms, 300us)";
        return false;
    }
    if (frac.find_first_not_of('0', std::min<size_t>(frac.size(), decimals)) != std::string::npos) {
        why = "time " + quote(word) + " is finer than 1 us";
        return false;
    }
    uint64_t per_unit = 1, part = 0;
    for (unsigned k = 0; k < decimals; ++k) {
        per_unit *= 10;
        part = part * 10 + (k < frac.size() ? static_cast<uint64_t>(frac[k] - '0') : 0u);
    }
    if (too_large || whole > max_time_us / per_unit || whole * per_unit + part > max_time_us) {
        why = "time " + quote(word) + " is beyond the clock's range (up to " + range_text() + ")";
        return false;
    }
    us = whole * per_unit + part;
    return true;
}

std::string format_duration(uint64_t us) {
    if (us == 0) {
        return "0s";
    }
    if (us < 1000000) {
        return us % 1000 == 0 ? std::to_string(us / 1000) + "ms" : std::to_string(us) + "us";
    }
    std::string s = std::to_string(us / 1000000);
    if (us % 1000000 != 0) {
        std::string decimals = std::to_string(us % 1000000 + 1000000).substr(1);
        decimals.erase(decimals.find_last_not_of('0') + 1);
        s += "." + decimals;
    }
    return s + "s";
}

std::string scenario_parser::line(const std::string &text, size_t from, size_t to) {
    const unsigned number = number_ + 1;
    line_words words = split(text, from, to);
    if (words.count == 0) {
        number_ = number;
        return "";
    }
    uint64_t now = now_;
    power_cycle state = state_;
    try {
        if (state.ended) {
            throw failure{"nothing may follow end"};
        }
        const std::string first_word = words.kept[0];
        const char first = first_word[0];
        if (first == '+' || std::isdigit(static_cast<unsigned char>(first))) {
            const bool relative = first == '+';
            std::string why;
            uint64_t t = 0;
            if (!parse_duration(relative ? first_word.substr(1) : first_word, t, why)) {
                const std::string bare = quote(first_word.substr(1));
                const size_t at = relative ? why.find(bare) : std::string::npos;
                throw failure{at == std::string::npos
                                  ? why
                                  : why.replace(at, bare.size(), quote(first_word))};
            }
            if (relative && t > max_time_us - now) {
                throw failure{"time " + quote(first_word) + " goes beyond the clock's range (" +
                              format_duration(now) + " + " + format_duration(t) + ", up to " +
                              range_text() + ")"};
            }
            if (!relative && t < now) {
                throw failure{"time goes backwards: " + format_duration(t) +
                              " is before the previous line's " + format_duration(now)};
            }
            now = relative ? now + t : t;
            words.kept.erase(words.kept.begin());
            --words.count;
            if (words.count == 0) {
                throw failure{"a time needs a command after it"};
            }
        }
        step s = parse_step(words, state);
        if (command_table[s.index].kind == step_kind::run) {
            const uint64_t d = static_cast<uint64_t>(s.args[0]);
            if (d > max_time_us - now) {
                throw failure{"run " + quote(words.kept[1]) + " goes beyond the clock's range (" +
                              format_duration(now) + " + " + format_duration(d) + ", up to " +
                              range_text() + ")"};
            }
            now += d;
        }
        s.at_us = now;
        // As the timeline and messages show the line: every word as quote()
        // shows it, without the quotes.
        std::string shown;
        for (const std::string &w : words.kept) {
            shown += (shown.empty() ? "" : " ") + shown_word(w);
        }
        out_.steps.push_back(s);
        out_.lines.push_back(number);
        out_.texts.push_back(shown);
    } catch (const failure &f) {
        return out_.file + ":" + std::to_string(number) + ": " + f.why;
    }
    number_ = number;
    now_ = now;
    state_ = state;
    return "";
}

parse_result parse_scenario(const std::string &text, const std::string &file_name) {
    parse_result result;
    result.value.file = file_name;
    scenario_parser parser(result.value);
    for (size_t from = 0; from < text.size();) {
        const size_t newline = text.find('\n', from);
        const size_t to = newline == std::string::npos ? text.size() : newline;
        result.error = parser.line(text, from, to);
        if (!result.error.empty()) {
            result.value = {};
            return result;
        }
        from = to + 1;
    }
    result.ok = true;
    return result;
}

} // namespace lampsim
