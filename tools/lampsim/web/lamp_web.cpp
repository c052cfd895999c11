// The page's way into the engine: lampsim's command line and the live lamp,
// as C functions for the page's script. Strings handed back stay valid until
// the next call of the same function.
#include "channels.h"
#include "cli.h"
#include "demo_scenario.h"
#include "json_text.h"
#include "live_session.h"

#include "flash.h"
#include "flash_host.h"
#include "light_ctrl.h"
#include "nvm_data_mgmt.h"
#include "utilities.h"

#include <emscripten.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using lampsim::json_text;

// A pasted or opened scenario beyond this is refused: scenario files are a
// few kilobytes, and the page must stay usable.
constexpr size_t text_limit = 1u << 20;

constexpr const char *out_dir = "/lampsim-out";

// NOLINTNEXTLINE(bugprone-reserved-identifier): __i0 is the compiler's, in the implicit copy
struct run_outputs {
    int status = 0;
    std::string text[5]; // stdout, stderr, csv, vcd, svg
};
run_outputs last_run;

std::string slurp(const std::string &path) {
    std::string out;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return out;
    }
    char buf[65536];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) != 0) {
        out.append(buf, n);
    }
    (void)std::fclose(f);
    return out;
}

// Every folder on the way to `path`, as the program's user would have them.
void make_folders(const std::string &path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        (void)mkdir(path.substr(0, slash).c_str(), 0777);
    }
}

// A memory stream's text, closed.
std::string closed_text(std::FILE *f, char *&buf, size_t &len) {
    (void)std::fclose(f);
    std::string out(buf, len);
    std::free(buf);
    return out;
}

std::unique_ptr<lampsim::live_session> live;
std::string live_reply, live_text, live_json;
std::vector<double> live_cols;

lampsim::live_session &session() {
    if (!live) {
        live.reset(new lampsim::live_session());
    }
    return *live;
}

const char *reply_json(const lampsim::live_session::reply &r) {
    live_reply =
        "{\"ok\":" + std::string(r.ok ? "true" : "false") + ",\"text\":" + json_text(r.text) + "}";
    return live_reply.c_str();
}

} // namespace

extern "C" {

// "" when a scenario of `bytes` bytes can be run, else the refusal.
EMSCRIPTEN_KEEPALIVE const char *lampsim_refusal(double bytes) {
    static std::string why;
    why.clear();
    if (bytes > static_cast<double>(text_limit)) {
        why = "lampsim: the scenario is " + std::to_string(static_cast<unsigned long long>(bytes)) +
              " bytes; the page runs scenarios of up to " + std::to_string(text_limit) +
              " bytes (the lampsim program takes any size)";
    }
    return why.c_str();
}

// What `lampsim NAME --csv OUT --vcd OUT --plot OUT` prints, exits with and
// writes, for `text` as the file NAME ("-": as standard input). flags: 1 no
// outputs written, 2 --quiet.
EMSCRIPTEN_KEEPALIVE int lampsim_run(const char *text, const char *name, int flags) {
    last_run = {};
    const std::string refused = lampsim_refusal(static_cast<double>(std::strlen(text)));
    if (!refused.empty()) {
        last_run.status = 2;
        last_run.text[1] = refused + "\n";
        return last_run.status;
    }
    // The page's file system starts with a umask of 0777, which would make
    // every output unreadable; a shell's usual one.
    (void)umask(022);
    const std::string path = name;
    const std::string outputs[] = {std::string(out_dir) + "/run.csv",
                                   std::string(out_dir) + "/run.vcd",
                                   std::string(out_dir) + "/run.svg"};
    (void)mkdir(out_dir, 0777);
    for (const std::string &o : outputs) {
        (void)std::remove(o.c_str());
    }
    std::FILE *in = nullptr;
    if (path == "-") {
        in = fmemopen(const_cast<char *>(text), std::strlen(text), "r");
    } else {
        make_folders(path);
        std::FILE *f = std::fopen(path.c_str(), "wb");
        if (f != nullptr) {
            (void)std::fwrite(text, 1, std::strlen(text), f);
            (void)std::fclose(f);
        }
        in = std::fopen("/dev/null", "r");
    }
    char *out_buf = nullptr, *err_buf = nullptr;
    size_t out_len = 0, err_len = 0;
    std::FILE *out = open_memstream(&out_buf, &out_len);
    std::FILE *err = open_memstream(&err_buf, &err_len);
    std::vector<std::string> args = {path};
    if ((flags & 1) == 0) {
        args.insert(args.end(), {"--csv", outputs[0], "--vcd", outputs[1], "--plot", outputs[2]});
    }
    if ((flags & 2) != 0) {
        args.emplace_back("--quiet");
    }
    last_run.status = lampsim::run_command_line(args, {in, out, err, nullptr});
    if (in != nullptr) {
        (void)std::fclose(in);
    }
    last_run.text[0] = closed_text(out, out_buf, out_len);
    last_run.text[1] = closed_text(err, err_buf, err_len);
    for (int i = 0; i < 3; ++i) {
        last_run.text[2 + i] = slurp(outputs[i]);
        (void)std::remove(outputs[i].c_str());
    }
    if (path != "-") {
        (void)std::remove(path.c_str());
    }
    return last_run.status;
}

// The demonstration's scenario (lampsim --print-demo).
EMSCRIPTEN_KEEPALIVE const char *lampsim_demo() {
    return lampsim::demo_scenario;
}

// 0 stdout, 1 stderr, 2 CSV, 3 VCD, 4 SVG of the last run.
EMSCRIPTEN_KEEPALIVE const char *lampsim_run_output(int which) {
    return which >= 0 && which < 5 ? last_run.text[which].c_str() : "";
}

EMSCRIPTEN_KEEPALIVE void live_reset() {
    live.reset();
    live.reset(new lampsim::live_session());
}

EMSCRIPTEN_KEEPALIVE const char *live_send(const char *line) {
    return reply_json(session().send(line));
}

EMSCRIPTEN_KEEPALIVE void live_advance_us(double us) {
    if (us >= 1) {
        session().advance(static_cast<uint64_t>(us));
    }
}

EMSCRIPTEN_KEEPALIVE const char *live_press(const char *button) {
    return reply_json(session().press(button));
}

EMSCRIPTEN_KEEPALIVE void live_release(const char *button) {
    session().release(button);
}

EMSCRIPTEN_KEEPALIVE const char *live_supply(int on) {
    return reply_json(session().supply(on != 0));
}

EMSCRIPTEN_KEEPALIVE const char *live_configure(const char *settings) {
    return reply_json(session().configure(settings));
}

EMSCRIPTEN_KEEPALIVE void live_set_repeat_ms(double ms) {
    session().set_repeat_ms(ms < 1 ? 1u : ms > 10000 ? 10000u : static_cast<uint32_t>(ms));
}

EMSCRIPTEN_KEEPALIVE const char *live_recording() {
    live_text = session().recording();
    return live_text.c_str();
}

EMSCRIPTEN_KEEPALIVE const char *live_csv() {
    live_text = session().csv();
    return live_text.c_str();
}

EMSCRIPTEN_KEEPALIVE const char *live_log() {
    live_text = session().new_log();
    return live_text.c_str();
}

// What the firmware shows now, as JSON.
EMSCRIPTEN_KEEPALIVE const char *live_state() {
    lampsim::live_session &s = session();
    const lampsim::live_view &v = s.view();
    const lampsim::lamp_state &l = v.lamp_now();
    uint8_t record[lampsim::saved_record_size] = {};
    nvm_read(NVM_KV_LIGHT_DATA, 0, record, sizeof record);
    const bool valid = record[1] == LIGHT_APP_DATA_MAGIC &&
                       check_sum(&record[1], lampsim::saved_record_size - 1) == record[0];
    // Per sector: its erases, and each 36-byte piece after its 16-byte head
    // ('x' for a piece holding programmed bytes): the journal's slots in the
    // ring sectors.
    std::string erases, used;
    for (uint32_t sector = 0; sector < FLASH_DATA_SIZE / FLASH_SECTOR_SIZE; ++sector) {
        const uint8_t *bytes = flash_host_image() + sector * FLASH_SECTOR_SIZE;
        std::string slots;
        for (uint32_t at = 16; at + 36 <= FLASH_SECTOR_SIZE; at += 36) {
            bool programmed = false;
            for (uint32_t i = 0; i < 36; ++i) {
                programmed = programmed || bytes[at + i] != 0xFF;
            }
            slots += programmed ? 'x' : '.';
        }
        erases += (sector == 0 ? "" : ",") + std::to_string(flash_host_erase_count(sector));
        used += (sector == 0 ? "\"" : ",\"") + slots + "\"";
    }
    const uint8_t mode = v.bright_mode();
    char text[2048];
    (void)std::snprintf(
        text, sizeof text,
        "{\"t_us\":%.0f,\"out\":[%u,%u],\"names\":[%s,%s],\"mode\":\"%s\",\"supply\":%s,"
        "\"switch\":%s,\"bright\":%u,\"temper\":%u,\"countdown\":%lu,\"adjusted\":%u,"
        "\"blink\":%u,\"fading\":%s,\"tick_us\":%lu,\"held\":%s,\"repeat_ms\":%lu,"
        "\"config\":%s,\"saved\":{\"valid\":%s,\"power\":%u,\"bright\":%u,\"temper\":%u},"
        "\"store\":{\"erases\":[%s],\"slots\":[%s],\"newest\":%ld}}",
        static_cast<double>(s.now_us()), v.out(0), v.out(1),
        json_text(lampsim::channel_name(mode, 0)).c_str(),
        json_text(lampsim::channel_name(mode, 1)).c_str(), lampsim::mode_word(mode),
        v.supply_on() ? "true" : "false", l.switch_on != 0 ? "true" : "false", l.bright, l.temper,
        static_cast<unsigned long>(l.countdown), l.adjusted_mode, l.blink_cnt,
        v.fading() ? "true" : "false", static_cast<unsigned long>(v.tick_us()),
        json_text(s.held()).c_str(), static_cast<unsigned long>(s.repeat_ms()),
        json_text(s.configuration()).c_str(), valid ? "true" : "false", record[2],
        static_cast<unsigned>(record[3] | record[4] << 8),
        static_cast<unsigned>(record[5] | record[6] << 8), erases.c_str(), used.c_str(),
        s.newest_record_slot());
    live_json = text;
    return live_json.c_str();
}

EMSCRIPTEN_KEEPALIVE double live_marks_version() {
    return session().view().marks_version();
}

// The chart's marks and the supply and switch over time, as JSON.
EMSCRIPTEN_KEEPALIVE const char *live_marks() {
    static const char *const kinds[] = {"command", "event", "power", "mode"};
    const lampsim::live_view &v = session().view();
    std::string out = "{\"marks\":[";
    for (const auto &m : v.marks()) {
        out += (out.back() == '[' ? "" : ",") + std::string("[") +
               std::to_string(static_cast<double>(m.t_us) / 1e6) + ",\"" +
               kinds[static_cast<int>(m.kind)] + "\"," + json_text(m.text) + "]";
    }
    out += "],\"levels\":[";
    for (const auto &l : v.levels()) {
        out += (out.back() == '[' ? "" : ",") + std::string("[") +
               std::to_string(static_cast<double>(l.t_us) / 1e6) + "," + (l.supply ? "1" : "0") +
               "," + (l.switch_on ? "1" : "0") + "]";
    }
    live_text = out + "]}";
    return live_text.c_str();
}

// The chart's columns, 7 numbers each: start in seconds, then for channel 0
// and channel 1 the lowest, highest and last value.
EMSCRIPTEN_KEEPALIVE const double *live_columns() {
    const auto &cols = session().view().columns();
    live_cols.clear();
    for (const auto &c : cols) {
        live_cols.insert(live_cols.end(),
                         {static_cast<double>(c.t_us) / 1e6, static_cast<double>(c.low[0]),
                          static_cast<double>(c.high[0]), static_cast<double>(c.last[0]),
                          static_cast<double>(c.low[1]), static_cast<double>(c.high[1]),
                          static_cast<double>(c.last[1])});
    }
    return live_cols.data();
}

EMSCRIPTEN_KEEPALIVE double live_column_count() {
    // NOLINTNEXTLINE(bugprone-integer-division): whole columns of 7 numbers, so exact
    return static_cast<double>(live_cols.size() / 7);
}

} // extern "C"
