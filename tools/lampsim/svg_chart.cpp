#include "svg_chart.h"

#include "channels.h"

#include <algorithm>

namespace lampsim {
namespace {

constexpr size_t max_columns = 4096;
constexpr double full_scale = 18000.0;
// Plot geometry in SVG user units.
constexpr double left = 80, right = 1160, top = 60, bottom = 400;
constexpr double lane_switch = 445, lane_power = 468, lane_height = 14;
// Labels are written downwards below the lanes, one column each: marks closer
// than a label's height share one label, cut to the room left below.
constexpr double label_font = 10, label_gap = label_font + 3;
constexpr double label_top = lane_power + lane_height + 8;
constexpr size_t label_chars = 54;
constexpr int width = 1200, height = 800;
const char *const colours[] = {"#1f77b4", "#e6862a"};
const char *const mark_colours[] = {"#999999", "#2e7d32", "#8e24aa"}; // command, event, mode

std::string escape(const std::string &s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// 1, 2 or 5 times a power of ten, giving about `count` intervals over span.
double nice_step(double span, int count) {
    const double factors[] = {2.0, 2.5, 2.0}; // 1 -> 2 -> 5 -> 10
    double step = 1e-6;
    for (int i = 0; span / step > count; ++i) {
        step *= factors[i % 3];
    }
    return step;
}

} // namespace

svg_chart::svg_chart(std::FILE *out, std::string title, const scenario &lines)
    : out_(out), title_(std::move(title)), lines_(lines) {}

void svg_chart::output(uint64_t t_us, uint16_t channel0, uint16_t channel1) {
    const output_column update = output_column::at(t_us, channel0, channel1);
    if (!columns_.empty() && columns_.back().t_us / width_us_ == t_us / width_us_) {
        columns_.back().take(update);
        return;
    }
    columns_.push_back(update);
    if (columns_.size() > 2 * max_columns) {
        thin();
    }
}

// Doubles the column width and merges the columns that now share one.
void svg_chart::thin() {
    width_us_ *= 2;
    std::vector<output_column> merged;
    for (const output_column &c : columns_) {
        if (!merged.empty() && merged.back().t_us / width_us_ == c.t_us / width_us_) {
            merged.back().take(c);
        } else {
            merged.push_back(c);
        }
    }
    columns_.swap(merged);
}

void svg_chart::switch_state(uint64_t t_us, bool on) {
    switch_.push_back({t_us, on});
}

void svg_chart::supply(uint64_t t_us, bool on) {
    power_.push_back({t_us, on});
}

void svg_chart::mode(uint64_t t_us, uint8_t bright_mode) {
    if (!modes_.empty() && modes_.back().mode == bright_mode) {
        return;
    }
    if (!modes_.empty()) {
        labels_.push_back({t_us,
                           std::string("mode ") + mode_word(bright_mode) + ": " +
                               channel_name(bright_mode, 0) + ", " + channel_name(bright_mode, 1),
                           mark_kind::mode});
    }
    modes_.push_back({t_us, bright_mode});
}

void svg_chart::command(uint64_t t_us, uint32_t index) {
    if (shown_as_command(command_table[lines_.steps.at(index).index])) {
        labels_.push_back({t_us, lines_.texts[index], mark_kind::command});
    }
}

void svg_chart::mark(uint64_t t_us, const std::string &text) {
    labels_.push_back({t_us, text, mark_kind::event});
}

void svg_chart::finish(uint64_t t_us) {
    const double end_s = std::max(static_cast<double>(t_us) / 1e6, 1e-3);
    auto x = [&](uint64_t t) {
        return left + (right - left) * (static_cast<double>(t) / 1e6) / end_s;
    };
    auto y = [&](uint16_t v) { return bottom - (bottom - top) * v / full_scale; };
    std::FILE *f = out_;
    (void)std::fprintf(
        f,
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 "
        "0 %d %d\" "
        "font-family=\"sans-serif\" font-size=\"12\">\n",
        width, height, width, height);
    (void)std::fprintf(f, "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n");
    (void)std::fprintf(f,
                       "<text x=\"%g\" y=\"30\" font-size=\"18\" font-weight=\"bold\">%s</text>\n",
                       left, escape(title_).c_str());

    // Supply off: shaded across the plot.
    for (size_t i = 0; i < power_.size(); ++i) {
        if (power_[i].on) {
            continue;
        }
        const uint64_t until = i + 1 < power_.size() ? power_[i + 1].t_us : t_us;
        (void)std::fprintf(
            f, "<rect x=\"%.2f\" y=\"%g\" width=\"%.2f\" height=\"%g\" fill=\"#dddddd\"/>\n",
            x(power_[i].t_us), top, std::max(x(until) - x(power_[i].t_us), 1.0), bottom - top);
    }

    // Grid and axes.
    for (int p = 0; p <= 100; p += 20) {
        const double gy = bottom - (bottom - top) * p / 100.0;
        (void)std::fprintf(
            f, "<line x1=\"%g\" y1=\"%.2f\" x2=\"%g\" y2=\"%.2f\" stroke=\"#e5e5e5\"/>\n", left, gy,
            right, gy);
        (void)std::fprintf(f, "<text x=\"%g\" y=\"%.2f\" text-anchor=\"end\">%d %%</text>\n",
                           left - 6, gy + 4, p);
    }
    const double step = nice_step(end_s, 12);
    // Each grid time from its index: a sum of steps would gather rounding.
    for (int i = 0; i * step <= end_s * 1.000001; ++i) {
        const double s = i * step;
        const double gx = left + (right - left) * s / end_s;
        (void)std::fprintf(
            f, "<line x1=\"%.2f\" y1=\"%g\" x2=\"%.2f\" y2=\"%g\" stroke=\"#e5e5e5\"/>\n", gx, top,
            gx, bottom);
        (void)std::fprintf(f, "<text x=\"%.2f\" y=\"%g\" text-anchor=\"middle\">%g</text>\n", gx,
                           bottom + 16, s);
    }
    (void)std::fprintf(
        f, "<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" fill=\"none\" stroke=\"#444\"/>\n",
        left, top, right - left, bottom - top);
    (void)std::fprintf(f, "<text x=\"%g\" y=\"%g\" text-anchor=\"middle\">time (s)</text>\n",
                       (left + right) / 2, bottom + 34);
    (void)std::fprintf(f,
                       "<text x=\"20\" y=\"%g\" text-anchor=\"middle\" transform=\"rotate(-90 20 "
                       "%g)\">output (%% of "
                       "full scale, 18000)</text>\n",
                       (top + bottom) / 2, (top + bottom) / 2);

    // The two channels as steps: each column draws its range, then holds its
    // last value until the next.
    for (int ch = 0; ch < 2; ++ch) {
        (void)std::fprintf(f, "<path fill=\"none\" stroke=\"%s\" stroke-width=\"1.5\" d=\"M%g %g",
                           colours[ch], left, y(0));
        uint16_t held = 0;
        for (const output_column &c : columns_) {
            const double cx = x(c.t_us);
            (void)std::fprintf(f, " H%.2f V%.2f", cx, y(held));
            if (c.low[ch] != c.high[ch]) {
                (void)std::fprintf(f, " V%.2f V%.2f", y(c.high[ch]), y(c.low[ch]));
            }
            (void)std::fprintf(f, " V%.2f", y(c.last[ch]));
            held = c.last[ch];
        }
        (void)std::fprintf(f, " H%g\"/>\n", right);
    }

    // Legend: the channels by the mode at the start, and by each mode after.
    for (int ch = 0; ch < 2; ++ch) {
        const double ly = top + 16 + 18 * ch;
        std::string name = "channel " + std::to_string(ch) + ": ";
        for (size_t i = 0; i < modes_.size(); ++i) {
            if (i > 0 && modes_[i].mode == modes_[i - 1].mode) {
                continue;
            }
            char from[48] = "";
            if (i > 0) {
                (void)std::snprintf(from, sizeof from,
                                    "; from %g s: ", static_cast<double>(modes_[i].t_us) / 1e6);
            }
            name += from + std::string(channel_name(modes_[i].mode, ch));
        }
        (void)std::fprintf(
            f, "<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\" stroke=\"%s\" stroke-width=\"3\"/>\n",
            right - 330, ly, right - 306, ly, colours[ch]);
        (void)std::fprintf(f, "<text x=\"%g\" y=\"%g\">%s</text>\n", right - 300, ly + 4,
                           escape(name).c_str());
    }

    // Lanes: switch on (green) and supply on (grey) over time.
    const struct {
        const std::vector<level> &levels;
        double lane;
        const char *name, *colour;
    } lanes[] = {{switch_, lane_switch, "switch", "#4caf50"},
                 {power_, lane_power, "power", "#888888"}};
    for (const auto &l : lanes) {
        (void)std::fprintf(f, "<text x=\"%g\" y=\"%g\" text-anchor=\"end\">%s</text>\n", left - 6,
                           l.lane + 11, l.name);
        (void)std::fprintf(
            f,
            "<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" fill=\"none\" stroke=\"#bbb\"/>\n",
            left, l.lane, right - left, lane_height);
        for (size_t i = 0; i < l.levels.size(); ++i) {
            if (!l.levels[i].on) {
                continue;
            }
            const uint64_t until = i + 1 < l.levels.size() ? l.levels[i + 1].t_us : t_us;
            (void)std::fprintf(
                f, "<rect x=\"%.2f\" y=\"%g\" width=\"%.2f\" height=\"%g\" fill=\"%s\"/>\n",
                x(l.levels[i].t_us), l.lane, std::max(x(until) - x(l.levels[i].t_us), 0.5),
                lane_height, l.colour);
        }
    }

    // Marks: a line across the plot each; labels of marks closer than
    // label_gap share one, so no two labels touch.
    for (size_t i = 0; i < labels_.size();) {
        const double mx = x(labels_[i].t_us);
        std::string text;
        size_t j = i;
        for (; j < labels_.size() && x(labels_[j].t_us) - mx < label_gap; ++j) {
            const label &l = labels_[j];
            const bool repeat =
                j > i && l.t_us == labels_[j - 1].t_us && l.text == labels_[j - 1].text;
            if (!repeat) {
                text += (j == i ? "" : ", ") + l.text;
            }
            (void)std::fprintf(f,
                               "<line x1=\"%.2f\" y1=\"%g\" x2=\"%.2f\" y2=\"%g\" stroke=\"%s\" "
                               "stroke-dasharray=\"%s\"/>\n",
                               x(l.t_us), top, x(l.t_us), bottom,
                               mark_colours[static_cast<int>(l.kind)],
                               l.kind == mark_kind::command ? "2,3" : "4,2");
        }
        if (text.size() > label_chars) {
            text = text.substr(0, label_chars - 3) + "...";
        }
        (void)std::fprintf(f,
                           "<text x=\"%.2f\" y=\"%g\" font-size=\"%g\" fill=\"%s\" "
                           "transform=\"rotate(90 %.2f %g)\">%s</text>\n",
                           mx, label_top, label_font,
                           labels_[i].kind == mark_kind::command
                               ? "#333333"
                               : mark_colours[static_cast<int>(labels_[i].kind)],
                           mx, label_top, escape(text).c_str());
        i = j;
    }
    (void)std::fputs("</svg>\n", f);
}

} // namespace lampsim
