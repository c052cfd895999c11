// The saved record: its bytes, its validation at start-up, the delayed save,
// and what survives a power cut.
#include "flash.h"
#include "lamp_fixture.h"

#include <array>
#include <cstring>

namespace {

using record_t = std::array<uint8_t, 7>;

class Persistence : public LampTest {
  protected:
    record_t saved() {
        record_t rec{};
        nvm_read(NVM_KV_LIGHT_DATA, 0, rec.data(), 7);
        return rec;
    }
    void store(const record_t &rec) {
        ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 0, rec.data(), 7), 7);
    }
    void expect_started(uint16_t bright, uint16_t temper) {
        EXPECT_TRUE(light_ctrl_data.switch_status);
        EXPECT_EQ(light_ctrl_data.bright, bright);
        EXPECT_EQ(light_ctrl_data.temper, temper);
    }
};

// Switched on, brightness 70, temperature 30; byte 0 is CRC-8 of bytes 1..6.
const record_t on_70_30 = {0xC6, 0xAA, 0x01, 0x46, 0x00, 0x1E, 0x00};
const record_t off_70_30 = {0xA4, 0xAA, 0x00, 0x46, 0x00, 0x1E, 0x00};

} // namespace

TEST_F(Persistence, SavedRecordBytesAreLittleEndianWithTheChecksumFirst) {
    set_state(true, 70, 30);
    EXPECT_EQ(light_ctrl_data_auto_save(), LIGHT_OK);
    EXPECT_EQ(saved(), on_70_30);
    set_state(false, 70, 30);
    EXPECT_EQ(light_ctrl_data_auto_save(), LIGHT_OK);
    EXPECT_EQ(saved(), off_70_30);
    set_state(true, 0x1234, 0xBEEF);
    light_ctrl_data_auto_save();
    const record_t rec = saved();
    EXPECT_EQ(rec[3], 0x34);
    EXPECT_EQ(rec[4], 0x12);
    EXPECT_EQ(rec[5], 0xEF);
    EXPECT_EQ(rec[6], 0xBE);
}

TEST_F(Persistence, ErasedStoreStartsOnAtFullBrightnessWarmAndFadesIn) {
    light_ctrl_init();
    expect_started(100, 0);
    EXPECT_EQ(board_timer14_period_us(), 277u);
    run_fade();
    const auto pairs = outputs();
    ASSERT_EQ(pairs.size(), 18000u);
    EXPECT_EQ(pairs.front(), (output_pair{1, 0}));
    EXPECT_EQ(pairs.back(), (output_pair{18000, 0}));
}

TEST_F(Persistence, RecordSavedWhileOffStillStartsOnWithItsValues) {
    store(off_70_30);
    light_ctrl_init();
    expect_started(70, 30);
    run_fade();
    EXPECT_EQ(shown(), (output_pair{12600, 5400}));
}

TEST_F(Persistence, RestoredValuesAreTakenAsStored) {
    set_state(false, 250, 180);
    light_ctrl_data_auto_save();
    power_on();
    light_ctrl_init();
    expect_started(250, 180);
}

TEST_F(Persistence, AnyChangedByteMakesStartUpUseTheDefaults) {
    for (size_t i = 0; i < on_70_30.size(); ++i) {
        for (int value = 0; value < 256; ++value) {
            if (value == on_70_30[i]) {
                continue;
            }
            record_t bad = on_70_30;
            bad[i] = static_cast<uint8_t>(value);
            flash_host_erase_all();
            power_on();
            store(bad);
            light_ctrl_init();
            ASSERT_EQ(light_ctrl_data.bright, 100) << "byte " << i << " = " << value;
            ASSERT_EQ(light_ctrl_data.temper, 0) << "byte " << i << " = " << value;
        }
    }
}

TEST_F(Persistence, DelayedSaveWritesTheStateAtExpiry) {
    set_state(true, 40, 30);
    EXPECT_EQ(light_ctrl_data_auto_save_start(3000), LIGHT_OK);
    run_ms(2000);
    light_ctrl_data_bright_set(70);
    run_ms(999);
    EXPECT_EQ(saved()[1], 0xFF);
    run_ms(1);
    EXPECT_EQ(saved(), on_70_30);
}

TEST_F(Persistence, FailedOrShortWritesReportErrorAndAreNotRetried) {
    set_state(true, 70, 30);
    flash_host_refuse_writes(true);
    EXPECT_EQ(light_ctrl_data_auto_save(), LIGHT_ERROR);
    flash_host_refuse_writes(false);

    flash_host_power_cut_at(1, 0); // power fails in the next flash operation
    EXPECT_EQ(light_ctrl_data_auto_save(), LIGHT_ERROR);
    flash_host_power_restore();

    flash_host_refuse_writes(true);
    light_ctrl_data_auto_save_start(100);
    run_ms(100);
    flash_host_refuse_writes(false);
    const uint32_t ops = flash_host_operations();
    run_ms(60000);
    EXPECT_EQ(flash_host_operations(), ops); // the delayed save does not retry
    EXPECT_EQ(light_ctrl_data_auto_save(), LIGHT_OK);
    EXPECT_EQ(saved(), on_70_30);
}

// Whatever the flash held: the first start-up uses the defaults, saves
// succeed, and the next start-up restores the last one.
TEST_F(Persistence, StartUpRestoresTheLastSaveOverADamagedImage) {
    struct image {
        const char *name;
        uint8_t fill;
        uint32_t stray_at; // cleared byte, past the area if none
    };
    const image images[] = {{"erased, byte 1025 cleared", 0xFF, 1025},
                            {"all zeros", 0x00, 0xFFFF},
                            {"all 0x4C", 0x4C, 0xFFFF}};
    for (const image &im : images) {
        std::memset(flash_host_image(), im.fill, FLASH_DATA_SIZE);
        if (im.stray_at < FLASH_DATA_SIZE) {
            flash_host_image()[im.stray_at] = 0x00;
        }
        power_on();
        light_ctrl_init();
        expect_started(100, 0);
        for (uint16_t b = 40; b <= 42; ++b) {
            set_state(true, b, 30);
            EXPECT_EQ(light_ctrl_data_auto_save(), LIGHT_OK) << im.name;
        }
        power_on();
        light_ctrl_init();
        EXPECT_EQ(light_ctrl_data.bright, 42) << im.name;
        EXPECT_EQ(light_ctrl_data.temper, 30) << im.name;
    }
}

TEST_F(Persistence, PowerCutMidFadeRestoresTheSavedStateAndFadesInAgain) {
    store(on_70_30);
    light_ctrl_init();
    board_run_for(2000000);
    ASSERT_TRUE(board_timer14_running());
    power_on(); // RAM gone, flash kept
    EXPECT_EQ(light_ctrl_data.bright, 0);
    EXPECT_FALSE(board_timer14_running());
    light_ctrl_init();
    expect_started(70, 30);
    run_fade();
    const auto pairs = outputs();
    ASSERT_EQ(pairs.size(), 12600u);
    EXPECT_EQ(pairs.front(), (output_pair{1, 5400}));
}

TEST_F(Persistence, PowerCutMidCountdownForgetsTheCountdown) {
    light_ctrl_init();
    run_fade();
    light_ctrl_data_countdown_set(10);
    run_ms(5000);
    power_on();
    light_ctrl_init();
    EXPECT_EQ(light_ctrl_data.countdown, 0u);
    run_ms(20000);
    EXPECT_TRUE(light_ctrl_data.switch_status);
    EXPECT_EQ(saved()[1], 0xFF); // nothing was ever saved
}
