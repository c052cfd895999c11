#include "channels.h"

#include "light_ctrl.h"

namespace lampsim {
namespace {
bool cold_warm(uint8_t bright_mode) {
    return bright_mode == BRIGHT_MODE_CW;
}
} // namespace

const char *channel_name(uint8_t bright_mode, int channel) {
    if (cold_warm(bright_mode)) {
        return channel == 0 ? "cold white" : "warm white";
    }
    return channel == 0 ? "brightness" : "colour temperature";
}

const char *channel_id(uint8_t bright_mode, int channel) {
    if (cold_warm(bright_mode)) {
        return channel == 0 ? "cold_white" : "warm_white";
    }
    return channel == 0 ? "brightness" : "colour_temperature";
}

const char *mode_word(uint8_t bright_mode) {
    return cold_warm(bright_mode) ? "cw" : "cct";
}

std::string outputs_text(uint8_t bright_mode, uint16_t channel0, uint16_t channel1) {
    const char *second = cold_warm(bright_mode) ? "warm white" : "temperature";
    return "(" + std::string(channel_name(bright_mode, 0)) + " " + std::to_string(channel0) + ", " +
           second + " " + std::to_string(channel1) + ")";
}

} // namespace lampsim
