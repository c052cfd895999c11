#include "csv_writer.h"

namespace lampsim {

csv_writer::csv_writer(std::FILE *out) : out_(out) {
    std::fputs("time_us,channel0,channel1\n", out_);
}

void csv_writer::output(uint64_t t_us, uint16_t channel0, uint16_t channel1) {
    std::fprintf(out_, "%llu,%u,%u\n", static_cast<unsigned long long>(t_us), channel0, channel1);
}

bool csv_writer::finish(uint64_t) {
    return std::fflush(out_) == 0 && std::ferror(out_) == 0;
}

} // namespace lampsim
