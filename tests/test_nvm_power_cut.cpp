// Power cut at every program and erase of a sequence of light saves, the
// module's own and raw writes of the light region, across three hand-overs
// between the journal's sectors. After each cut the store and the module
// start again: the light region holds its last completed value or the one
// being written, start-up restores the last saved brightness and temperature
// (or the one being saved, or the defaults while nothing was ever saved), the
// other regions are untouched, and the store goes on working.
//
// Where a cut falls: every operation of every step, and within one operation
// each byte count that the store can tell apart on restart (the host flash
// keeps a leading part of a cut program, and erases a leading part of a cut
// erase):
// - entry program (sequence number and region, 34 bytes): 0 (slot still
//   free), 1 (sequence number half there), 2, 3, 18, 33 (slot used, region
//   partly there, check unprogrammed: every count from 2 to 33 leaves the
//   same kind of slot, so a few stand for all);
// - check program (1 byte): 0;
// - erase of the partner sector: 0, 1, 2, 36, 512, 1023 (none, part or all
//   of the first slot's sequence number, the first slot, half, all but one
//   byte of the older entries).
// Each image before a step is kept, so a cut replays one step, not the run.
#include "lamp_fixture.h"
#include "nvm_layout.h"

#include <algorithm>
#include <cstdio>

using namespace nvm_layout;

namespace {

struct op_t {
    char kind;
    uint32_t len;
};

void record_op(void *ctx, char kind, uint32_t, uint32_t len) {
    static_cast<std::vector<op_t> *>(ctx)->push_back({kind, len});
}

std::vector<uint32_t> cut_bytes(const op_t &op) {
    if (op.kind == 'E') {
        return {0, 1, 2, slot, sector / 2, sector - 1};
    }
    if (op.len == 34) {
        return {0, 1, 2, 3, 18, 33};
    }
    return {0};
}

// One step: a module save of (bright, temper), or raw bytes at `offset` of
// the light region.
struct step_t {
    uint16_t bright, temper;
    uint16_t offset;
    std::vector<uint8_t> raw;
};

class NvmPowerCut : public LampTest {
  protected:
    bool run(const step_t &s) {
        if (s.raw.empty()) {
            set_state(s.bright % 2 == 0, s.bright, s.temper);
            return light_ctrl_data_auto_save() == LIGHT_OK;
        }
        return nvm_write(NVM_KV_LIGHT_DATA, s.offset, s.raw.data(),
                         static_cast<uint16_t>(s.raw.size())) == s.raw.size();
    }
};

} // namespace

TEST_F(NvmPowerCut, EveryCutLeavesTheOldOrTheNewValue) {
    std::vector<step_t> steps;
    for (uint16_t i = 0; i < 90; ++i) {
        if (i % 9 == 4) {
            steps.push_back({0, 0, static_cast<uint16_t>(7 + i % 20),
                             std::vector<uint8_t>(5, static_cast<uint8_t>(i))});
        } else {
            steps.push_back({static_cast<uint16_t>(1 + i * 37 % 100),
                             static_cast<uint16_t>(i * 11 % 101),
                             0,
                             {}});
        }
    }
    // The light region after each step, worked out by hand: the saved record
    // is cs, 0xAA, power, bright and temper little-endian, cs the CRC-8 of the
    // six bytes after it.
    std::vector<std::vector<uint8_t>> model(1, std::vector<uint8_t>(32, 0xFF));
    std::vector<std::pair<uint16_t, uint16_t>> saved(1, {100, 0}); // defaults
    for (const step_t &s : steps) {
        std::vector<uint8_t> r = model.back();
        if (s.raw.empty()) {
            const uint8_t rec[7] = {0,
                                    0xAA,
                                    static_cast<uint8_t>(s.bright % 2 == 0),
                                    static_cast<uint8_t>(s.bright),
                                    static_cast<uint8_t>(s.bright >> 8),
                                    static_cast<uint8_t>(s.temper),
                                    static_cast<uint8_t>(s.temper >> 8)};
            std::copy(rec, rec + 7, r.begin());
            r[0] = crc8(rec + 1, 6);
            saved.push_back({s.bright, s.temper});
        } else {
            std::copy(s.raw.begin(), s.raw.end(), r.begin() + s.offset);
            saved.push_back(saved.back());
        }
        model.push_back(r);
    }
    // The other regions, written once before the saves.
    const std::vector<uint8_t> mgr(32, 0x21), tbl(256, 0x43), scene(2048, 0x65);
    ASSERT_EQ(nvm_write(NVM_KV_SLOT_MGR, 0, mgr.data(), 32), 32);
    ASSERT_EQ(nvm_write(NVM_KV_SLOT_TBL, 0, tbl.data(), 256), 256);
    ASSERT_EQ(nvm_write(NVM_KV_SCENE_DATA, 0, scene.data(), 2048), 2048);

    // Dry run: the image before each step and the operations of each step.
    std::vector<std::vector<uint8_t>> before;
    std::vector<std::vector<op_t>> ops(steps.size());
    for (size_t j = 0; j < steps.size(); ++j) {
        before.push_back(snapshot());
        flash_host_set_op_listener(record_op, &ops[j]);
        ASSERT_TRUE(run(steps[j])) << j;
        flash_host_set_op_listener(nullptr, nullptr);
        ASSERT_EQ(region(NVM_KV_LIGHT_DATA), model[j + 1]) << j;
    }
    ASSERT_LE(flash_host_most_word_programs(), 2u); // counted from erase_all, not after restores

    uint32_t cuts = 0, in_erases = 0, in_entries = 0, erases = 0;
    for (size_t j = 0; j < steps.size(); ++j) {
        for (size_t i = 0; i < ops[j].size(); ++i) {
            erases += ops[j][i].kind == 'E' ? 1 : 0;
            for (uint32_t b : cut_bytes(ops[j][i])) {
                ++cuts;
                in_erases += ops[j][i].kind == 'E' ? 1 : 0;
                in_entries += ops[j][i].len == 34 && b > 0 ? 1 : 0;
                const std::string at = "step " + std::to_string(j) + " op " + std::to_string(i) +
                                       " byte " + std::to_string(b);
                restore(before[j]);
                power_on();
                const uint32_t ops_before = flash_host_operations();
                flash_host_power_cut_at(static_cast<uint32_t>(i + 1), b);
                ASSERT_FALSE(run(steps[j])) << at;
                ASSERT_EQ(flash_host_operations() - ops_before, i + 1) << at;
                flash_host_power_restore();

                power_on();
                light_ctrl_init();
                const auto got = region(NVM_KV_LIGHT_DATA);
                ASSERT_TRUE(got == model[j] || got == model[j + 1]) << at;
                const std::pair<uint16_t, uint16_t> lamp{light_ctrl_data.bright,
                                                         light_ctrl_data.temper};
                ASSERT_TRUE(lamp == saved[j] || lamp == saved[j + 1])
                    << at << ": " << lamp.first << "/" << lamp.second;
                ASSERT_TRUE(light_ctrl_data.switch_status) << at;
                ASSERT_EQ(region(NVM_KV_SLOT_MGR), mgr) << at;
                ASSERT_EQ(region(NVM_KV_SLOT_TBL), tbl) << at;
                ASSERT_EQ(region(NVM_KV_SCENE_DATA), scene) << at;

                // The store goes on: first a value other than the one cut
                // short (a torn slot must not be programmed again), then the
                // step, and after a cut in an erase a sector's worth more,
                // through the next hand-over.
                const uint8_t other = 0xA5; // byte 31 is no step's
                ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 31, &other, 1), 1) << at;
                ASSERT_TRUE(run(steps[j])) << at;
                const uint32_t more = ops[j][i].kind == 'E' ? slots + 1 : 0;
                for (uint32_t n = 0; n < more; ++n) {
                    const uint8_t v = static_cast<uint8_t>(n);
                    ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 31, &v, 1), 1) << at << " +" << n;
                }
                nvm_init();
                std::vector<uint8_t> want = model[j + 1];
                want[31] = more != 0 ? static_cast<uint8_t>(more - 1) : other;
                ASSERT_EQ(region(NVM_KV_LIGHT_DATA), want) << at;
                ASSERT_EQ(flash_host_nor_violations(), 0u) << at;
            }
        }
    }
    std::printf("[ cuts     ] %u cut points over %zu light saves: %u in %u erases of a "
                "sector hand-over, %u inside an entry's region\n",
                cuts, steps.size(), in_erases, erases, in_entries);
    EXPECT_GE(erases, 3u);
    EXPECT_GT(in_entries, 0u);
}
