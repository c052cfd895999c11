#include "live_session.h"

#include "host_run.h"

#include "board_host.h"
#include "flash.h"
#include "flash_host.h"
#include "nvm_data_mgmt.h"

#include <cstdlib>

namespace lampsim {
namespace {

// The store's journal geometry (System/nvm_data_mgmt.h): a 16-byte header,
// then 28 slots of 36 bytes, in sectors 1, 4 and 0.
constexpr uint32_t journal_header = 16, slot_size = 36, slots = 28;

bool is_slot_head(uint32_t offset) {
    const uint32_t sector = offset / FLASH_SECTOR_SIZE;
    const uint32_t within = offset % FLASH_SECTOR_SIZE;
    return (sector == 0 || sector == 1 || sector == 4) && within >= journal_header &&
           (within - journal_header) % slot_size == 0 &&
           (within - journal_header) / slot_size < slots;
}

} // namespace

live_session::live_session()
    : parser_(lines_), log_file_(open_memstream(&log_buf_, &log_len_)),
      csv_file_(open_memstream(&csv_buf_, &csv_len_)), timeline_(lines_, log_file_),
      expectations_(lines_, log_file_), csv_(csv_file_), view_(lines_), platform_(lines_),
      player_(platform_, stream_, memory_) {
    lines_.file = "live.lamp";
    stream_.add(timeline_);
    stream_.add(expectations_, false);
    stream_.add(csv_);
    stream_.add(view_);
    const char *const head[] = {
        "# The page's live lamp, as its inputs came: `lampsim FILE --csv OUT` replays",
        "# it with the outputs the page showed.",
        "0s power-cut  # without power until the supply is switched on",
    };
    for (const char *line : head) {
        (void)parser_.line(line);
        recording_ += std::string(line) + "\n";
    }
    flash_host_erase_all();
    flash_host_set_op_listener(on_flash_op, this);
    board_power_on();
    player_.set_open_ended(true);
    player_.boot(true);
    run_to(0);
}

live_session::~live_session() {
    player_.detach();
    flash_host_set_op_listener(nullptr, nullptr);
    flash_host_refuse_writes(false);
    (void)std::fclose(log_file_);
    (void)std::fclose(csv_file_);
    std::free(log_buf_);
    std::free(csv_buf_);
}

void live_session::on_flash_op(void *ctx, char kind, uint32_t offset, uint32_t) {
    live_session &s = *static_cast<live_session *>(ctx);
    if (kind == 'P' && is_slot_head(offset)) {
        s.heads_[s.head_count_++ % kept_heads] = offset;
    }
}

long live_session::newest_record_slot() const {
    const unsigned kept = head_count_ < kept_heads ? head_count_ : kept_heads;
    for (unsigned i = 1; i <= kept; ++i) {
        const uint32_t offset = heads_[(head_count_ - i) % kept_heads];
        if (flash_host_image()[offset] == NVM_KV_LIGHT_DATA) {
            return static_cast<long>(offset);
        }
    }
    return -1;
}

// Everything due up to t_us, the player's calls among it; a power cut is a
// call's doing, and the board comes back at once without power (as the
// program's host run does).
void live_session::run_to(uint64_t t_us) {
    uint64_t next = 0;
    while (player_.pending_call(next) && memory_.offset_us + next <= t_us) {
        board_run_until(next);
        if (platform_.take_cut()) {
            board_power_on();
            player_.boot(false);
        }
    }
    if (powered()) {
        board_run_until(t_us - memory_.offset_us);
    }
    now_ = t_us;
}

std::string live_session::log_since(size_t from) const {
    (void)std::fflush(log_file_);
    return from < log_len_ ? std::string(log_buf_ + from, log_len_ - from) : std::string();
}

live_session::reply live_session::input(const std::string &line) {
    const std::string text = format_duration(now_) + " " + line;
    const std::string error = parser_.line(text);
    if (!error.empty()) {
        return {false, error};
    }
    recording_ += text + "\n";
    (void)std::fflush(log_file_);
    const size_t from = log_len_;
    player_.steps_added();
    run_to(now_);
    return {true, log_since(from)};
}

live_session::reply live_session::send(const std::string &line) {
    if (line.find_first_of("\n#") != std::string::npos) {
        return {false, "one line without a comment, please"};
    }
    return input(line);
}

void live_session::advance(uint64_t us) {
    const uint64_t target = us > max_time_us - now_ ? max_time_us : now_ + us;
    while (!held_.empty() && next_repeat_ <= target) {
        run_to(next_repeat_);
        const std::string button = held_;
        if (!input("adjust " + button).ok || !input("process gradual").ok) {
            held_.clear();
        }
        next_repeat_ += repeat_us_;
    }
    run_to(target);
}

live_session::reply live_session::press(const std::string &button) {
    if (button == "power") {
        const reply r = input(view_.lamp_now().switch_on != 0 ? "switch off" : "switch on");
        return r.ok ? input("process gradual") : r;
    }
    if (button != "bright+" && button != "bright-" && button != "temper+" && button != "temper-") {
        return {false,
                "no button " + quote(button) + " (power, bright+, bright-, temper+, temper-)"};
    }
    reply r = input("adjust " + button);
    if (r.ok) {
        const reply p = input("process gradual");
        r.text += p.text;
        held_ = button;
        next_repeat_ = now_ + repeat_us_;
    }
    return r;
}

void live_session::release(const std::string &button) {
    if (button == held_) {
        held_.clear();
    }
}

live_session::reply live_session::supply(bool on) {
    if (on == powered()) {
        return {false, on ? "the lamp has power already" : "the lamp has no power"};
    }
    if (!on) {
        held_.clear();
        return input("power-cut");
    }
    if (!config_.empty()) {
        reply r = input("config " + config_);
        if (!r.ok) {
            return r;
        }
    }
    return input("init");
}

live_session::reply live_session::configure(const std::string &settings) {
    // Checked now, as the line it will be.
    if (settings.size() > 80) {
        return {false, "configuration " + quote(settings) + " is too long"};
    }
    if (!settings.empty()) {
        scenario probe;
        probe.file = lines_.file;
        scenario_parser check(probe);
        const std::string error = check.line("config " + settings);
        if (!error.empty()) {
            return {false, error};
        }
    }
    config_ = settings;
    return {true, ""};
}

std::string live_session::recording() const {
    return recording_ + format_duration(now_) + " end  # where the page was\n";
}

std::string live_session::csv() const {
    (void)std::fflush(csv_file_);
    std::string out(csv_buf_, csv_len_);
    char *tail_buf = nullptr;
    size_t tail_len = 0;
    std::FILE *tail = open_memstream(&tail_buf, &tail_len);
    csv_.ended_copy(now_, tail);
    (void)std::fclose(tail);
    out.append(tail_buf, tail_len);
    std::free(tail_buf);
    return out;
}

std::string live_session::new_log() {
    std::string text = log_since(log_read_);
    log_read_ += text.size();
    return text;
}

} // namespace lampsim
