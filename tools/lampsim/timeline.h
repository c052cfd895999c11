#pragma once
// The readable account of a run, one line per thing that happened, with its
// scenario time.
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace lampsim {

class timeline {
  public:
    explicit timeline(std::FILE *out) : out_(out) {}
    void line(uint64_t t_us, const std::string &text);
    // What happens while a command runs is printed after the command's line.
    void begin_command();
    void end_command(uint64_t t_us, const std::string &text, const std::string &result);

  private:
    void print(uint64_t t_us, const std::string &text) const;

    std::FILE *out_; // null: silent
    bool holding_ = false;
    std::vector<std::pair<uint64_t, std::string>> held_;
};

std::string format_time(uint64_t t_us);  // "12.345678 s"
std::string result_name(uint8_t result); // "LIGHT_OK", ...

} // namespace lampsim
