// The integer mixing against the float form over every input, on the Cortex-M0
// itself (the float form through the soft-float routines: the one image that
// links them). One line through semihosting, then exit status 0:
//   mix inputs <n> differences <n> reference_sum <hex> integer_sum <hex>
//       plain_differences <n>
// plain_differences is the same sweep over 9 * b * t / 5 without the shortfall
// rule, which must differ: the comparison on the target can see a difference.
#include "light_ctrl_private.h"
#include "mix_sweep.h"
#include "semihost.h"

#include <stdint.h>

namespace {

char line[160];
uint32_t used = 0;

void put_text(const char *text) {
    while (*text != '\0' && used < sizeof line - 1) {
        line[used++] = *text++;
    }
}

void put_number(const char *label, uint32_t value, uint32_t base) {
    put_text(label);
    char digits[12];
    uint32_t n = 0;
    do {
        const uint32_t d = value % base;
        digits[n++] = static_cast<char>(d < 10u ? '0' + d : 'a' + (d - 10u));
        value /= base;
    } while (value != 0u);
    if (base == 16u) {
        put_text("0x");
    }
    while (n > 0u && used < sizeof line - 1) {
        line[used++] = digits[--n];
    }
}

} // namespace

int main() {
    const mix_sweep_t exact = mix_sweep(_light_ctrl_data_calculate_cw);
    const mix_sweep_t plain = mix_sweep(mix_plain_ninefifths);
    put_number("mix inputs ", exact.inputs, 10u);
    put_number(" differences ", exact.differences, 10u);
    put_number(" reference_sum ", exact.reference_sum, 16u);
    put_number(" integer_sum ", exact.candidate_sum, 16u);
    put_number(" plain_differences ", plain.differences, 10u);
    put_text("\n");
    semihost_write(line, used);
    semihost_exit(0);
}
