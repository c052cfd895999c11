#include "live_view.h"

#include "channels.h"

#include <algorithm>

namespace lampsim {

void live_view::output(uint64_t t_us, uint16_t channel0, uint16_t channel1) {
    out_[0] = channel0;
    out_[1] = channel1;
    const output_column update = output_column::at(t_us - t_us % column_us, channel0, channel1);
    if (!columns_.empty() && columns_.back().t_us == update.t_us) {
        columns_.back().take(update);
        return;
    }
    columns_.push_back(update);
    if (columns_.size() > kept_columns) {
        columns_.pop_front();
    }
}

void live_view::add_mark(uint64_t t_us, mark_kind kind, const std::string &text) {
    marks_.push_back({t_us, kind, text});
    if (marks_.size() > kept_marks) {
        marks_.pop_front();
    }
    ++marks_version_;
}

void live_view::add_level(uint64_t t_us) {
    if (!levels_.empty() && levels_.back().t_us == t_us) {
        levels_.back() = {t_us, supply_, switch_};
    } else {
        levels_.push_back({t_us, supply_, switch_});
    }
    if (levels_.size() > kept_marks) {
        levels_.pop_front();
    }
    ++marks_version_;
}

void live_view::switch_state(uint64_t t_us, bool on) {
    switch_ = on;
    add_level(t_us);
}

void live_view::supply(uint64_t t_us, bool on) {
    if (on != supply_) {
        // Power that comes and goes on one microsecond (the session starts
        // without power) is nothing to see.
        if (!marks_.empty() && marks_.back().kind == mark_kind::power &&
            marks_.back().t_us == t_us) {
            marks_.pop_back();
            ++marks_version_;
        } else {
            add_mark(t_us, mark_kind::power, on ? "power on" : "power cut");
        }
    }
    supply_ = on;
    add_level(t_us);
}

void live_view::mode(uint64_t t_us, uint8_t bright_mode) {
    if (bright_mode != mode_) {
        add_mark(t_us, mark_kind::mode,
                 std::string("mode ") + mode_word(bright_mode) + ": " +
                     channel_name(bright_mode, 0) + ", " + channel_name(bright_mode, 1));
    }
    mode_ = bright_mode;
}

void live_view::command(uint64_t t_us, uint32_t index) {
    const command_spec &c = command_table[lines_.steps.at(index).index];
    // The supply shows as its own mark; of the lines of one input (a button's
    // adjust and process) the first stands for them.
    const bool same_input =
        !marks_.empty() && marks_.back().kind == mark_kind::command && marks_.back().t_us == t_us;
    if (shown_as_command(c) && c.kind != step_kind::power_cut && c.kind != step_kind::init &&
        !same_input) {
        add_mark(t_us, mark_kind::command, lines_.texts[index]);
    }
}

void live_view::mark(uint64_t t_us, const std::string &text) {
    add_mark(t_us, mark_kind::event, text);
}

void live_view::fade(uint64_t t_us, bool running, uint32_t period_us, uint64_t ticks) {
    signal_reader::fade(t_us, running, period_us, ticks);
    fading_ = running;
    tick_us_ = period_us;
}

void live_view::power(uint64_t t_us, bool on, uint64_t ticks, const lamp_state &s) {
    signal_reader::power(t_us, on, ticks, s);
    if (!on) {
        fading_ = false;
        out_[0] = out_[1] = 0;
    }
}

} // namespace lampsim
