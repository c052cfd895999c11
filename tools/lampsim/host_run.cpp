#include "host_run.h"

#include "player.h"

#include "board_host.h"
#include "flash_host.h"

namespace lampsim {

bool host_platform::read_step(uint32_t index, step &out) {
    if (index >= scenario_.steps.size()) {
        return false;
    }
    out = scenario_.steps[index];
    return true;
}

void host_platform::refuse_writes(bool refuse) {
    flash_host_refuse_writes(refuse);
}

void run_on_host(const scenario &s, events &out) {
    host_platform platform(s);
    player_memory memory{};
    player p(platform, out, memory);
    board_power_on();
    p.boot(true);
    // From one call of the player to the next: the board runs everything in
    // between in one go. A power cut is a call's doing, at the call's time.
    uint64_t next = 0;
    while (p.pending_call(next)) {
        board_run_until(next);
        if (platform.take_cut()) {
            board_power_on(); // RAM and board back to reset; the flash stays
            p.boot(false);
        }
    }
    p.detach();
    flash_host_refuse_writes(false);
}

} // namespace lampsim
