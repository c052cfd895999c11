#include "step_codec.h"

#include "commands.h"
#include "varint.h"

namespace lampsim {

uint32_t put_step(uint8_t *out, const step &s, uint64_t previous_us) {
    uint32_t n = varint::put(out, s.at_us - previous_us);
    n += varint::put(out + n, s.index);
    n += varint::put(out + n, s.argc);
    for (uint8_t i = 0; i < s.argc && i < max_args; ++i) {
        n += varint::put(out + n, varint::zigzag(s.args[i]));
    }
    return n;
}

bool step_reader::next(step &out) {
    uint64_t dt = 0;
    uint64_t index = 0;
    uint64_t argc = 0;
    if (!varint::get(bytes_, size_, offset_, dt) || !varint::get(bytes_, size_, offset_, index) ||
        !varint::get(bytes_, size_, offset_, argc) || index >= command_count || argc > max_args ||
        dt > max_time_us - previous_us_) {
        return false;
    }
    out = {};
    out.at_us = previous_us_ + dt;
    out.index = static_cast<uint8_t>(index);
    out.argc = static_cast<uint8_t>(argc);
    for (uint8_t i = 0; i < out.argc; ++i) {
        uint64_t z = 0;
        if (!varint::get(bytes_, size_, offset_, z)) {
            return false;
        }
        out.args[i] = varint::unzigzag(z);
    }
    previous_us_ = out.at_us;
    ++index_;
    last_ = out;
    return true;
}

bool step_reader::read(uint32_t index, step &out) {
    if (index >= count_ || broken_) {
        return false;
    }
    if (index + 1 == index_) {
        out = last_;
        return true;
    }
    if (index < index_) {
        index_ = offset_ = 0;
        previous_us_ = 0;
    }
    while (index_ <= index) {
        if (!next(out)) {
            broken_ = true;
            return false;
        }
    }
    return true;
}

bool step_reader::whole() {
    step s{};
    index_ = offset_ = 0;
    previous_us_ = 0;
    for (uint32_t i = 0; i < count_; ++i) {
        if (!next(s)) {
            return false;
        }
    }
    const bool exact = offset_ == size_;
    index_ = offset_ = 0;
    previous_us_ = 0;
    return exact;
}

} // namespace lampsim
