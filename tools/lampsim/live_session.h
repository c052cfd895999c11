#pragma once
// The live lamp: the module on the simulated host board, driven by inputs as
// they come, in virtual time that its user moves on. Every input is a
// scenario line at its virtual microsecond, parsed and played like a line of
// a file (the same parser, the same player, open-ended), so the session so far
// is a scenario (recording()) that lampsim replays with the same outputs, and
// csv() is what lampsim writes for that replay with --csv.
//
// The session owns the host board and its flash: one session at a time, and
// nothing else may run on the board while it lives.
#include "csv_writer.h"
#include "event_fanout.h"
#include "expectation.h"
#include "host_run.h"
#include "live_view.h"
#include "player.h"
#include "scenario.h"
#include "timeline.h"

#include <cstdio>
#include <memory>
#include <string>

namespace lampsim {

class live_session {
  public:
    static constexpr uint32_t default_repeat_ms = 200;

    // Without power, the store erased, at time 0.
    live_session();
    ~live_session();
    live_session(const live_session &) = delete;
    live_session &operator=(const live_session &) = delete;

    struct reply {
        bool ok;
        std::string text; // what the timeline shows of the line, or why it was refused
    };
    // One scenario line (without a time) at the present time.
    reply send(const std::string &line);
    // Lets virtual time pass; a held button repeats on its way.
    void advance(uint64_t us);
    uint64_t now_us() const { return now_; }

    // The remote: power (switch on or off, then a gradual process), bright+,
    // bright-, temper+, temper- (adjust, then a gradual process, repeated
    // every repeat interval until released).
    reply press(const std::string &button);
    void release(const std::string &button);
    void set_repeat_ms(uint32_t ms) { repeat_us_ = uint64_t{ms} * 1000u; }
    uint32_t repeat_ms() const { return static_cast<uint32_t>(repeat_us_ / 1000u); }
    const std::string &held() const { return held_; }

    // The supply: on (the configuration set, then init) or cut.
    reply supply(bool on);
    // The configuration the next power-on applies: config's settings
    // ("mode=cw way=cw gradual=1200"); "" for none.
    reply configure(const std::string &settings);
    const std::string &configuration() const { return config_; }
    bool powered() const { return parser_.cycle().powered; }

    // The session as a scenario file, ending at the present time.
    std::string recording() const;
    // What `lampsim FILE --csv OUT` writes for recording().
    std::string csv() const;
    // The timeline's lines since the last call.
    std::string new_log();
    const live_view &view() const { return view_; }
    // The store: the flash offset of the journal slot that holds the newest
    // light record, or -1 before the session's first save.
    long newest_record_slot() const;

  private:
    static void on_flash_op(void *ctx, char kind, uint32_t offset, uint32_t len);
    void run_to(uint64_t t_us);
    reply input(const std::string &line);
    std::string log_since(size_t from) const;

    scenario lines_;
    scenario_parser parser_;
    std::string recording_;
    uint64_t now_ = 0;
    std::string held_;
    uint64_t next_repeat_ = 0;
    uint64_t repeat_us_ = uint64_t{default_repeat_ms} * 1000u;
    std::string config_;

    std::FILE *log_file_;
    char *log_buf_ = nullptr;
    size_t log_len_ = 0;
    size_t log_read_ = 0;
    std::FILE *csv_file_;
    char *csv_buf_ = nullptr;
    size_t csv_len_ = 0;

    event_fanout stream_;
    timeline timeline_;
    expectation_report expectations_;
    csv_writer csv_;
    live_view view_;
    host_platform platform_;
    player_memory memory_{};
    player player_;
    // Where the store programmed the head of a journal slot, newest last:
    // the light record's newest entry is the last whose key byte is its key.
    static constexpr unsigned kept_heads = 64;
    uint32_t heads_[kept_heads] = {};
    unsigned head_count_ = 0;
};

} // namespace lampsim
