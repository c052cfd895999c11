#pragma once
// What a run shows, as one stream of events: the player emits it on either
// board, and everything lampsim writes (timeline, CSV, VCD, chart, trace,
// expectation results) is made from it. Times are scenario microseconds.
#include <stdint.h>

namespace lampsim {

// The module's state as the scenario sees it, reported when it changes.
struct lamp_state {
    uint8_t switch_on;
    uint16_t bright, temper;
    uint32_t countdown;
    uint8_t adjusted_mode, blink_cnt;
    uint8_t bright_mode; // mixing mode in force (light_cfg_data)
};

inline bool operator==(const lamp_state &a, const lamp_state &b) {
    return a.switch_on == b.switch_on && a.bright == b.bright && a.temper == b.temper &&
           a.countdown == b.countdown && a.adjusted_mode == b.adjusted_mode &&
           a.blink_cnt == b.blink_cnt && a.bright_mode == b.bright_mode;
}
inline bool operator!=(const lamp_state &a, const lamp_state &b) {
    return !(a == b);
}

// A step's result when it has none (LIGHT_OK .. LIGHT_INVALID_PARM otherwise;
// for an expectation, 1 when it holds and 0 when it does not).
constexpr int16_t no_result = -1;
constexpr uint8_t saved_record_size = 7;

// The PWM writes of one fade, folded (digest.h): how many, their CRC-32, and
// the last value of channels 0 and 1 when the fade ended.
struct fade_digest {
    uint32_t writes;
    uint32_t crc;
    uint16_t last[2];
};

class events {
  public:
    // Supply on (with the state the module starts with) or off; ticks: the
    // fade ticks of the power cycle that ends (0 at power-on).
    virtual void power(uint64_t t_us, bool on, uint64_t ticks, const lamp_state &state) = 0;
    virtual void pwm(uint64_t t_us, uint8_t channel, uint16_t duty) = 0;
    // Timer 14 started (with the period in service) or stopped; ticks since
    // the power-on.
    virtual void fade(uint64_t t_us, bool running, uint32_t period_us, uint64_t ticks) = 0;
    virtual void state(uint64_t t_us, const lamp_state &state) = 0;
    // The module wrote its saved record: `written` of the record's bytes were stored.
    virtual void save(uint64_t t_us, uint16_t written, const uint8_t *record) = 0;
    // Step `index` of the scenario starts, and ends with its result (or
    // no_result) and what it read.
    virtual void begin(uint64_t t_us, uint32_t index) = 0;
    virtual void result(uint64_t t_us, uint32_t index, int16_t result, const int64_t *readings,
                        uint8_t count) = 0;
    // The run is over; ticks of the last power cycle (0 without power).
    virtual void end(uint64_t t_us, uint64_t ticks) = 0;
    // In place of a fade's PWM writes, on a stream that folds them
    // (digest.h): the fade that started at the last fade event ended at t_us
    // (stopped, restarted, cut by the power, or the run ended). Streams that
    // carry every write never have one.
    virtual void digest(uint64_t t_us, const fade_digest &d) {
        (void)t_us;
        (void)d;
    }

  protected:
    ~events() = default;
};

} // namespace lampsim
