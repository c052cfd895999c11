// The integer mixing against the float form over every input, on the Cortex-M0
// itself (the float form through the soft-float routines: the one image that
// links them). One line through semihosting, each number in hexadecimal, then
// exit status 0:
//   mix inputs <n> differences <n> reference_sum <n> integer_sum <n>
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

// Appends the label and the value as eight hexadecimal digits.
void put(const char *label, uint32_t value) {
    while (*label != '\0') {
        line[used++] = *label++;
    }
    for (int shift = 28; shift >= 0; shift -= 4) {
        line[used++] = "0123456789abcdef"[(value >> shift) & 0xFu];
    }
}

} // namespace

int main() {
    const mix_sweep_t exact = mix_sweep(_light_ctrl_data_calculate_cw);
    const mix_sweep_t plain = mix_sweep(mix_plain_ninefifths);
    put("mix inputs ", exact.inputs);
    put(" differences ", exact.differences);
    put(" reference_sum ", exact.reference_sum);
    put(" integer_sum ", exact.candidate_sum);
    put(" plain_differences ", plain.differences);
    line[used++] = '\n';
    semihost_write(line, used);
    semihost_exit(0);
}
