#pragma once
// The module's saved light record as the store holds it under
// NVM_KV_LIGHT_DATA: cs (CRC-8 of bytes 1..6), magic 0xAA, power, bright and
// temper little-endian. Built and validated here independently of the module
// (the CRC is the checksum routine, checked on its own in tests/utilities), so
// store tests can write and check it without linking the module.
#include "nvm_data_mgmt.h"
#include "utilities.h"

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>

namespace light_record {

using bytes = std::array<uint8_t, 7>;

struct values {
    uint16_t bright, temper;
    bool operator==(const values &o) const { return bright == o.bright && temper == o.temper; }
};
inline std::ostream &operator<<(std::ostream &os, const values &v) {
    return os << v.bright << "/" << v.temper;
}

// What start-up uses when no valid record is stored.
constexpr values defaults{100, 0};

inline bytes make(bool power, uint16_t bright, uint16_t temper) {
    bytes r = {0,
               0xAA,
               static_cast<uint8_t>(power ? 1 : 0),
               static_cast<uint8_t>(bright),
               static_cast<uint8_t>(bright >> 8),
               static_cast<uint8_t>(temper),
               static_cast<uint8_t>(temper >> 8)};
    r[0] = check_sum(r.data() + 1, 6);
    return r;
}

// The brightness and temperature start-up would take from `r`, if it is valid.
inline std::optional<values> validate(const bytes &r) {
    if (r[1] != 0xAA || check_sum(r.data() + 1, 6) != r[0]) {
        return std::nullopt;
    }
    return values{static_cast<uint16_t>(r[3] | r[4] << 8), static_cast<uint16_t>(r[5] | r[6] << 8)};
}

// A save as the module makes it; true when the store took all 7 bytes.
inline bool save(bool power, uint16_t bright, uint16_t temper) {
    const bytes r = make(power, bright, temper);
    return nvm_write(NVM_KV_LIGHT_DATA, 0, r.data(), 7) == 7;
}

// What start-up would restore from the store as it stands: the saved values,
// or the defaults.
inline values restored() {
    bytes r{};
    nvm_read(NVM_KV_LIGHT_DATA, 0, r.data(), 7);
    return validate(r).value_or(defaults);
}

} // namespace light_record
