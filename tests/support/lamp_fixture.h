#pragma once
// A lamp on the simulated board, brought to power-on state before each test.
#include "board_host.h"
#include "flash_host.h"
#include "light_ctrl.h"
#include "light_ctrl_hooks.h"
#include "light_ctrl_private.h"
#include "nvm_data_mgmt.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

struct pwm_write {
    uint64_t t_us;
    uint8_t channel;
    uint16_t duty;
};

struct output_pair {
    uint16_t white;
    uint16_t warm;
    bool operator==(const output_pair &o) const { return white == o.white && warm == o.warm; }
};

inline std::ostream &operator<<(std::ostream &os, const output_pair &p) {
    return os << "(" << p.white << ", " << p.warm << ")";
}

class LampTest : public ::testing::Test {
  protected:
    void SetUp() override {
        flash_host_erase_all();
        power_on();
    }
    void TearDown() override { board_pwm_set_listener(nullptr, nullptr); }

    // RAM back to reset values; the flash keeps what it holds.
    void power_on() {
        board_power_on();
        writes.clear();
        board_pwm_set_listener(&LampTest::record, this);
    }

    // Outputs written as pairs (channel 0 then channel 1), in order.
    std::vector<output_pair> outputs() const {
        std::vector<output_pair> pairs;
        for (size_t i = 0; i + 1 < writes.size(); i += 2) {
            EXPECT_EQ(writes[i].channel, 0);
            EXPECT_EQ(writes[i + 1].channel, 1);
            pairs.push_back({writes[i].duty, writes[i + 1].duty});
        }
        return pairs;
    }
    // Runs until timer 14 stops (a million ticks at most), returns the ticks it took.
    uint64_t run_fade() {
        const uint64_t before = board_timer14_tick_count();
        uint64_t next = 0;
        while (board_timer14_running() && board_timer14_tick_count() - before < 1000000u &&
               board_next_event_us(&next) != 0) {
            board_run_until(next);
        }
        return board_timer14_tick_count() - before;
    }
    void set_state(bool on, uint16_t bright, uint16_t temper) {
        light_ctrl_data.switch_status = on;
        light_ctrl_data.bright = bright;
        light_ctrl_data.temper = temper;
    }
    void start_fade(output_pair from, output_pair to, uint32_t period_us = 277) {
        light_ctrl_handle.current_val = {from.white, from.warm};
        light_ctrl_handle.target_val = {to.white, to.warm};
        _light_ctrl_gradually_start(period_us);
    }

    std::vector<pwm_write> writes;

  private:
    static void record(void *ctx, uint64_t t_us, uint8_t channel, uint16_t duty) {
        static_cast<LampTest *>(ctx)->writes.push_back({t_us, channel, duty});
    }
};
