// The saved record as the module writes and reads it back. Start-up, the
// delayed save, refused saves and power cuts are in tests/scenarios/startup.lamp.
#include "lamp_fixture.h"
#include "light_record.h"

#include <cstdio>

namespace {
using Persistence = LampTest;
} // namespace

// Saved while off with values no setter can make, then a power cut in the
// start-up fade: start-up takes them as stored, switched on.
TEST_F(Persistence, SavedRecordIsRestoredAsStoredAndSwitchedOn) {
    light_ctrl_init();
    set_state(false, 0x1234, 0xBEEF);
    EXPECT_EQ(light_ctrl_data_auto_save(), LIGHT_OK);
    light_record::bytes rec{};
    nvm_read(NVM_KV_LIGHT_DATA, 0, rec.data(), 7);
    EXPECT_EQ(rec, light_record::make(false, 0x1234, 0xBEEF));
    power_on();
    EXPECT_FALSE(board_timer14_running());
    light_ctrl_init();
    EXPECT_TRUE(light_ctrl_data.switch_status);
    EXPECT_EQ(light_ctrl_data.bright, 0x1234);
    EXPECT_EQ(light_ctrl_data.temper, 0xBEEF);
}

// Any byte changed, or another magic under a matching checksum: the defaults.
TEST_F(Persistence, StartUpTakesTheDefaultsForADamagedRecord) {
    const light_record::bytes good = light_record::make(true, 70, 30);
    std::vector<light_record::bytes> bad;
    for (size_t i = 0; i < good.size(); ++i) {
        for (int v = 0; v < 256; ++v) {
            if (v != good[i]) {
                bad.push_back(good);
                bad.back()[i] = static_cast<uint8_t>(v);
            }
        }
    }
    light_record::bytes other_magic = good;
    other_magic[1] = 0xAB;
    other_magic[0] = check_sum(other_magic.data() + 1, 6);
    bad.push_back(other_magic);
    for (const light_record::bytes &r : bad) {
        flash_host_erase_all();
        power_on();
        ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 0, r.data(), 7), 7);
        light_ctrl_init();
        ASSERT_EQ(light_ctrl_data.bright, 100) << &r - bad.data();
        ASSERT_EQ(light_ctrl_data.temper, 0) << &r - bad.data();
    }
}

// The lamp saving in the middle of its fades, over two hand-overs of the
// store's sector, on a store whose ring has gone round (every sector to hand
// over to holds an old generation): no erase happens while timer 14 runs. The
// board erases ahead while the lamp is quiet (between the blink's fades), so
// a save in a fade only programs words. 1000 ms blinks, a fade of 900 ms at
// 50 us a tick.
TEST_F(Persistence, SavesDuringFadesNeverErase) {
    for (uint16_t i = 0; i < 3 * 28 + 2; ++i) {
        ASSERT_TRUE(light_record::save(true, 100, 0)) << i;
    }
    power_on();
    struct counts {
        uint32_t erases_fading = 0, erases_quiet = 0, programs_fading = 0;
    } n;
    flash_host_set_op_listener(
        [](void *ctx, char kind, uint32_t, uint32_t) {
            counts &c = *static_cast<counts *>(ctx);
            const bool fading = board_timer14_running();
            c.erases_fading += kind == 'E' && fading ? 1 : 0;
            c.erases_quiet += kind == 'E' && !fading ? 1 : 0;
            c.programs_fading += kind == 'P' && fading ? 1 : 0;
        },
        &n);
    light_ctrl_init();
    run_fade();
    ASSERT_EQ(light_ctrl_blink_start(WITH_START, 35, 1000), LIGHT_OK);
    uint32_t saves = 0;
    board_run_for(1000000); // just past the first toggle
    for (uint32_t toggle = 0; toggle < 70; ++toggle) {
        ASSERT_TRUE(board_timer14_running()) << toggle; // its fade
        ASSERT_EQ(light_ctrl_data_auto_save_start(400), LIGHT_OK);
        board_run_for(400000); // the save, in the fade
        ASSERT_TRUE(board_timer14_running()) << toggle;
        light_record::bytes rec{};
        nvm_read(NVM_KV_LIGHT_DATA, 0, rec.data(), 7);
        ASSERT_EQ(rec, light_record::make(true, 100, 0)) << toggle;
        ++saves;
        board_run_for(600000); // just past the next toggle
    }
    flash_host_set_op_listener(nullptr, nullptr);
    std::printf("[ erases   ] %u saves in fades: %u erases while timer 14 ran, %u while the lamp "
                "was quiet\n",
                saves, n.erases_fading, n.erases_quiet);
    EXPECT_EQ(n.erases_fading, 0u);
    EXPECT_GE(n.erases_quiet, 2u); // the hand-overs' sectors, erased ahead
    EXPECT_GE(n.programs_fading, saves * 3);
}
