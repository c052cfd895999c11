#pragma once
// Every mixing input against the float reference: three modes (the two mixing
// modes and one that must leave the result untouched) times every brightness
// and temperature byte, 196,608 inputs. The host test and the Cortex-M0 check
// image run this same loop, so their counts and checksums compare directly.
#include "light_ctrl.h"
#include "mix_float.h"

#include <stdint.h>

// A mixing under test; like the module's, it reads light_cfg_data.bright_mode.
typedef void (*mix_fn_t)(uint8_t bright, uint8_t temperatue, bright_data_t *result);

struct mix_sweep_t {
    uint32_t inputs;
    uint32_t differences;
    uint32_t reference_sum; // FNV-1a over every (white, warm) of the reference, in order
    uint32_t candidate_sum; // the same over the candidate's
};

// FNV-1a (32 bits) over the two channel values.
inline uint32_t mix_sum_step(uint32_t sum, const bright_data_t &r) {
    sum = (sum ^ r.white) * 16777619u;
    return (sum ^ r.warm) * 16777619u;
}

// The float reference's checksum over the whole sweep. Host and target must
// both arrive at it, so the reference cannot drift unnoticed either.
constexpr uint32_t mix_reference_sum = 0x2D3BA52Au;

inline mix_sweep_t mix_sweep(mix_fn_t candidate) {
    const bright_mode_t saved = light_cfg_data.bright_mode;
    mix_sweep_t s = {0u, 0u, 2166136261u, 2166136261u};
    for (uint32_t mode = 0u; mode <= BRIGHT_MODE_MAX; ++mode) {
        light_cfg_data.bright_mode = static_cast<bright_mode_t>(mode);
        for (uint32_t b = 0u; b < 256u; ++b) {
            for (uint32_t t = 0u; t < 256u; ++t) {
                // Above anything either mode writes, so a write where none is
                // due shows.
                const bright_data_t untouched = {static_cast<uint16_t>(0xFFFFu - b),
                                                 static_cast<uint16_t>(0xFFFFu - t)};
                bright_data_t ref = untouched;
                bright_data_t got = untouched;
                mix_float::calculate_cw(static_cast<bright_mode_t>(mode), static_cast<uint8_t>(b),
                                        static_cast<uint8_t>(t), &ref);
                candidate(static_cast<uint8_t>(b), static_cast<uint8_t>(t), &got);
                s.inputs += 1u;
                s.differences += (ref.white != got.white || ref.warm != got.warm) ? 1u : 0u;
                s.reference_sum = mix_sum_step(s.reference_sum, ref);
                s.candidate_sum = mix_sum_step(s.candidate_sum, got);
            }
        }
    }
    light_cfg_data.bright_mode = saved;
    return s;
}

// 9 * b * t / 5 without the correction for a product that falls short: the
// sweep must reject it (543 inputs differ, all in cold/warm mixing).
inline void mix_plain_ninefifths(uint8_t bright, uint8_t temperatue, bright_data_t *result) {
    const uint32_t b = bright != 0u ? bright : 1u;
    if (light_cfg_data.bright_mode == BRIGHT_MODE_CW) {
        const uint16_t bright_temp = static_cast<uint16_t>(180u * b);
        result->white = static_cast<uint16_t>(9u * b * temperatue / 5u);
        result->warm = static_cast<uint16_t>(bright_temp - result->white);
        if (result->white > CTRL_CAL_VALUE_RANGE) {
            result->white = CTRL_CAL_VALUE_RANGE;
        }
        if (result->warm > CTRL_CAL_VALUE_RANGE) {
            result->warm = CTRL_CAL_VALUE_RANGE;
        }
    } else if (light_cfg_data.bright_mode == BRIGHT_MODE_CCT) {
        result->white = static_cast<uint16_t>(180u * b);
        result->warm = static_cast<uint16_t>(180u * temperatue);
    }
}
