#include "timeline.h"

namespace lampsim {

std::string format_time(uint64_t t_us) {
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%06llu s",
                  static_cast<unsigned long long>(t_us / 1000000u),
                  static_cast<unsigned long long>(t_us % 1000000u));
    return text;
}

std::string result_name(uint8_t result) {
    static const char *const names[] = {"LIGHT_OK", "LIGHT_ERROR", "LIGHT_FAIL",
                                        "LIGHT_INVALID_PARM"};
    return result < 4 ? names[result] : "result " + std::to_string(result);
}

void timeline::print(uint64_t t_us, const std::string &text) const {
    std::fprintf(out_, "%14s  %s\n", format_time(t_us).c_str(), text.c_str());
}

void timeline::line(uint64_t t_us, const std::string &text) {
    if (out_ == nullptr) {
        return;
    }
    if (holding_) {
        held_.emplace_back(t_us, text);
    } else {
        print(t_us, text);
    }
}

void timeline::begin_command() {
    holding_ = true;
}

void timeline::end_command(uint64_t t_us, const std::string &text, const std::string &result) {
    holding_ = false;
    if (out_ == nullptr) {
        return;
    }
    print(t_us, "> " + text + (result.empty() ? "" : "  => " + result));
    for (const auto &h : held_) {
        print(h.first, "    " + h.second);
    }
    held_.clear();
}

} // namespace lampsim
