#pragma once
// The scenario on the simulated host board, in this process.
#include "events.h"
#include "player.h"
#include "scenario.h"

namespace lampsim {

// What the host board adds to the player: the steps from a scenario (which
// may grow while the player waits, open-ended), the simulated flash's write
// refusal, and a power cut as a flag for the loop that drives the board.
class host_platform final : public player_platform {
  public:
    explicit host_platform(const scenario &s) : scenario_(s) {}
    bool read_step(uint32_t index, step &out) override;
    void refuse_writes(bool refuse) override;
    void power_cut() override { cut_ = true; }
    void finished() override {}
    // Whether the supply failed since the last call.
    bool take_cut() {
        const bool cut = cut_;
        cut_ = false;
        return cut;
    }

  private:
    const scenario &scenario_;
    bool cut_ = false;
};

// The flash is whatever the host flash holds when this is called.
void run_on_host(const scenario &s, events &out);

} // namespace lampsim
