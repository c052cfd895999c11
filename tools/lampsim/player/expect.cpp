#include "expect.h"

namespace lampsim {

bool expectation_holds(const step &s, const int64_t *readings, uint8_t count) {
    if (count != snapshot_size) {
        return false;
    }
    const command_spec &c = command_table[s.index];
    for (unsigned i = 0; i < s.argc; ++i) {
        if (c.field + i >= snapshot_size || s.args[i] != readings[c.field + i]) {
            return false;
        }
    }
    return true;
}

} // namespace lampsim
