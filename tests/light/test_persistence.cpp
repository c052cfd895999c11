// The saved record as the module writes and reads it back. Start-up, the
// delayed save, refused saves and power cuts are in tests/scenarios/startup.lamp.
#include "lamp_fixture.h"
#include "light_record.h"

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
