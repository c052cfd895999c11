#include "expectation.h"

#include "commands.h"
#include "expect.h"

namespace lampsim {
namespace {

// A value as the line would write it: its word where the type has one.
std::string value_text(const arg_type &type, int64_t v) {
    for (uint8_t i = 0; i < type.word_count; ++i) {
        if (type.words[i].value == v) {
            return type.words[i].word;
        }
    }
    return std::to_string(v);
}

} // namespace

std::string judge(const step &expectation, int16_t verdict, const int64_t *readings,
                  uint8_t count) {
    const command_spec &c = command_table[expectation.index];
    const bool holds = expectation_holds(expectation, readings, count);
    if (holds && verdict == 1) {
        return "";
    }
    std::string got = c.name + 7; // without "expect "
    if (count != snapshot_size) {
        got += " nothing";
    } else if (c.or_none && readings[c.field] == 0) {
        got += " none";
    } else {
        for (unsigned i = 0; i < c.arg_count; ++i) {
            got += " " + value_text(*c.args[i].type, readings[c.field + (c.or_none ? 1 : 0) + i]);
        }
    }
    if (holds != (verdict == 1)) {
        got += std::string(" (the target judged it ") + (verdict == 1 ? "held" : "failed") + ")";
    }
    return got;
}

void expectation_report::result(uint64_t, uint32_t index, int16_t verdict, const int64_t *readings,
                                uint8_t count) {
    const step &s = lines_.steps.at(index);
    if (command_table[s.index].kind != step_kind::expect) {
        return;
    }
    ++expectations_;
    const std::string got = judge(s, verdict, readings, count);
    if (got.empty()) {
        return;
    }
    ++failed_;
    (void)std::fprintf(failures_, "%s:%u: expected %s, got %s\n", lines_.file.c_str(),
                       lines_.lines[index], lines_.texts[index].substr(7).c_str(), got.c_str());
}

} // namespace lampsim
