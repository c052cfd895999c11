#pragma once
// The two PWM channels are named by the mixing mode in force: cold and warm
// white in cold/warm mixing, brightness and colour temperature in
// brightness/temperature mixing.
#include <cstdint>
#include <string>

namespace lampsim {

// "cold white", "colour temperature".
const char *channel_name(uint8_t bright_mode, int channel);
// As an identifier (CSV column, VCD variable): "cold_white", "colour_temperature".
const char *channel_id(uint8_t bright_mode, int channel);
// "cw" or "cct", as config mode= writes it.
const char *mode_word(uint8_t bright_mode);
// "(brightness 13652, temperature 1800)", "(cold white 2700, warm white 6300)".
std::string outputs_text(uint8_t bright_mode, uint16_t channel0, uint16_t channel1);

} // namespace lampsim
