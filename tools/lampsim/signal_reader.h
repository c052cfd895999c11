#pragma once
// What the writers that show the lamp over time (CSV, VCD, the chart, the
// page's live chart) read from the event stream, each for itself: a writer
// derives from signal_reader<itself> and is called, in time order, on
//   output(t, channel0, channel1)  every update of the outputs (see
//                                  output_pairing.h), and dark (0, 0) from a
//                                  power cut until the next write;
//   supply(t, on), switch_state(t, on), mode(t, bright_mode)
//                                  at every power-on, and where they change;
//   command(t, index)              a scenario line starts (not run, end or an
//                                  expectation: they change nothing);
//   mark(t, text)                  what the module did by itself that a reader
//                                  looks for: a save (or a refused one), a
//                                  hold's release, a countdown's toggle;
//   finish(t)                      the run is over at t.
// The calls are direct (no second layer of virtual calls), and a writer that
// needs more of the stream overrides the event and calls the reader's too.
#include "commands.h"
#include "events.h"
#include "output_pairing.h"

#include "light_ctrl.h"

#include <string>

namespace lampsim {

// What the module did on its own between two states: "" for nothing a reader
// looks for.
inline std::string module_mark(const lamp_state &was, const lamp_state &is) {
    std::string mark;
    if ((was.adjusted_mode & ADJUST_HOLD_FLAG) != 0 && is.adjusted_mode == 0) {
        mark = "hold released";
    }
    if (was.countdown != 0 && is.countdown == 0 && was.switch_on != is.switch_on) {
        mark = std::string("countdown: switched ") + (is.switch_on != 0 ? "on" : "off");
    }
    return mark;
}

template <typename Writer> class signal_reader : public events {
  public:
    void power(uint64_t t_us, bool on, uint64_t, const lamp_state &s) override {
        flush();
        if (on) {
            state_ = s;
            writer().supply(t_us, true);
            writer().mode(t_us, s.bright_mode);
            writer().switch_state(t_us, s.switch_on != 0);
            return;
        }
        outputs_.dark();
        writer().switch_state(t_us, false);
        writer().supply(t_us, false);
        writer().output(t_us, 0, 0);
    }
    void pwm(uint64_t t_us, uint8_t channel, uint16_t duty) override {
        outputs_.pwm(t_us, channel, duty,
                     [this](uint64_t t, uint16_t c0, uint16_t c1) { writer().output(t, c0, c1); });
    }
    void fade(uint64_t, bool, uint32_t, uint64_t) override { flush(); }
    void state(uint64_t t_us, const lamp_state &s) override {
        flush();
        const lamp_state was = state_;
        state_ = s;
        if (was.switch_on != s.switch_on) {
            writer().switch_state(t_us, s.switch_on != 0);
        }
        if (was.bright_mode != s.bright_mode) {
            writer().mode(t_us, s.bright_mode);
        }
        if (!in_step_) {
            const std::string mark = module_mark(was, s);
            if (!mark.empty()) {
                writer().mark(t_us, mark);
            }
        }
    }
    void save(uint64_t t_us, uint16_t written, const uint8_t *) override {
        flush();
        writer().mark(t_us, written == saved_record_size ? "saved" : "save refused");
    }
    void begin(uint64_t t_us, uint32_t index) override {
        flush();
        in_step_ = true;
        writer().command(t_us, index);
    }
    void result(uint64_t, uint32_t, int16_t, const int64_t *, uint8_t) override {
        flush();
        in_step_ = false;
    }
    void end(uint64_t t_us, uint64_t) override {
        flush();
        writer().finish(t_us);
    }

  protected:
    signal_reader() = default;
    const lamp_state &lamp() const { return state_; }

  private:
    Writer &writer() { return static_cast<Writer &>(*this); }
    void flush() {
        outputs_.flush(
            [this](uint64_t t, uint16_t c0, uint16_t c1) { writer().output(t, c0, c1); });
    }

    output_pairing outputs_;
    lamp_state state_{};
    bool in_step_ = false;
};

// Whether a step's line shows as a command: run, end and the expectations
// change nothing.
inline bool shown_as_command(const command_spec &c) {
    return c.kind != step_kind::run && c.kind != step_kind::end && c.kind != step_kind::expect;
}

} // namespace lampsim
