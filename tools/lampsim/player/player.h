#pragma once
// The scenario player: runs a scenario's steps on the board it is built into
// (the simulated host board inside lampsim, or the Cortex-M0 under QEMU), each
// at its exact time, after every event the board has due then, and reports
// what happens as one stream of events. The same code on both boards, so the
// two streams are identical whenever the module behaves identically.
#include "commands.h"
#include "events.h"

#include <stdint.h>

namespace lampsim {

struct step {
    uint64_t at_us; // scenario time
    uint8_t index;  // entry of command_table
    uint8_t argc;
    int64_t args[max_args];
};

// Scenario times stay below 2^53 us (about 285 years): the emulated chip
// counts nanoseconds in 63 bits, and the chart's times stay exact.
constexpr uint64_t max_time_us = uint64_t{1} << 53;
// Without an `end`, the run goes on until nothing is pending, or this long
// after its last line.
constexpr uint64_t settle_limit_us = 2ull * 86400u * 1000000u;

// What the player keeps across a power cut (on the chip: in memory that the
// reset leaves alone).
struct player_memory {
    uint32_t next;          // step to run next
    uint64_t offset_us;     // scenario time of the board's time 0 (the power-on)
    uint64_t last_event_us; // of the module or the board, for the end of the run
    uint64_t last_step_us;
    int64_t config[3]; // kept settings: mode, way, gradual; -1 for not set
    uint8_t refuse_writes;
};

// What the board running the player adds.
class player_platform {
  public:
    // Step `index` of the scenario; false past the last.
    virtual bool read_step(uint32_t index, step &out) = 0;
    virtual void refuse_writes(bool refuse) = 0;
    // The supply fails now; the memory holds what the next boot needs. On the
    // chip this resets the processor and does not return; elsewhere the caller
    // powers the board on again and calls boot(false).
    virtual void power_cut() = 0;
    virtual void finished() = 0;

  protected:
    ~player_platform() = default;
};

class player {
  public:
    player(player_platform &platform, events &out, player_memory &memory);
    // After board_power_on, before time runs: the run's start (first), or the
    // power-on after a power cut.
    void boot(bool first);
    bool finished() const { return finished_; }
    // The board time of the call the player waits for; false if none.
    bool pending_call(uint64_t &board_us) const;
    // Listeners off; the player no longer follows the board.
    void detach();

    // Open-ended: past the last step the player waits for more (the page's
    // live lamp adds a step at each input) instead of ending the run; the
    // platform's read_step then finds the new steps after steps_added().
    void set_open_ended(bool open) { open_ended_ = open; }
    void steps_added();

    // The module wrote its saved record (seen through the store's write call).
    void saved(uint16_t written, const void *record);

  private:
    static void on_call(void *ctx);
    static void on_pwm(void *ctx, uint64_t t_us, uint8_t channel, uint16_t duty);
    static void on_timer14(void *ctx, uint64_t t_us, bool running, uint32_t period_us);
    static void on_timers(void *ctx, uint64_t t_us);

    uint64_t now() const;
    void call_at(uint64_t board_us);
    void serve();
    void run_step();
    void power_on(uint64_t t_us);
    void apply_config() const;
    void report_state(uint64_t t_us);
    void snapshot(readings &out) const;
    void schedule_next();
    void after_last();
    void play_unpowered();
    void check_settled();
    void finish(uint64_t t_us);

    player_platform &platform_;
    events &out_;
    player_memory &mem_;
    step current_{};
    lamp_state shown_{};
    int16_t last_result_ = no_result;
    uint64_t call_us_ = 0;
    uint64_t limit_us_ = 0;
    bool call_pending_ = false;
    bool powered_ = false;
    bool watching_ = false; // the last step has run: waiting for the lamp to settle
    bool cut_ = false;
    bool finished_ = false;
    bool open_ended_ = false;
    bool waiting_ = false; // open-ended, past the last step
};

} // namespace lampsim
