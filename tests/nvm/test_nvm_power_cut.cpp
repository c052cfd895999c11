// Power cut at every program and erase of a sequence of writes: the module's
// light saves, raw writes of the light region and of the two slot regions,
// across four hand-overs around the journal's ring. After each cut the store
// and the module start again: every journaled key holds its last completed
// value or, for the key being written, the one being written; start-up
// restores the last saved brightness and temperature (or the one being saved,
// or the defaults while nothing was ever saved); the scene region is untouched;
// and the store goes on working.
//
// Where a cut falls: every operation of every step, and within one operation
// each byte count that the store can tell apart on restart (the host flash
// keeps a leading part of a cut program, and erases a leading part of a cut
// erase):
// - key and sequence number (3 bytes): 0 (space still free), 1 (key only), 2;
// - a 16-byte piece of the region: 0 and 8 (the entry torn either way; every
//   count leaves the same kind of entry, so two stand for all);
// - check (1 byte): 0;
// - erase of the oldest sector: 0, 1, 2, 36, 512, 1023 (none, part or all of
//   the first entry's key and sequence number, the first entry, half, all but
//   one byte of the older entries).
// Each image before a step is kept, so a cut replays one step, not the run.
#include "lamp_fixture.h"
#include "nvm_layout.h"

#include <algorithm>
#include <array>
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
        return {0, 1, 2, small_entry, sector / 2, sector - 1};
    }
    switch (op.len) {
    case 3:
        return {0, 1, 2};
    case 16:
        return {0, 8};
    default:
        return {0};
    }
}

// One step: a module save of (bright, temper), or raw bytes at `offset` of a
// journaled key's region.
struct step_t {
    nvm_kv_t key;
    uint16_t bright, temper;
    uint16_t offset;
    std::vector<uint8_t> raw;
};

constexpr nvm_kv_t journaled[] = {NVM_KV_SLOT_MGR, NVM_KV_SLOT_TBL, NVM_KV_LIGHT_DATA};
using regions_t = std::array<std::vector<uint8_t>, 3>; // indexed by key

class NvmPowerCut : public LampTest {
  protected:
    bool run(const step_t &s) {
        if (s.raw.empty()) {
            set_state(s.bright % 2 == 0, s.bright, s.temper);
            return light_ctrl_data_auto_save() == LIGHT_OK;
        }
        return nvm_write(s.key, s.offset, s.raw.data(), static_cast<uint16_t>(s.raw.size())) ==
               s.raw.size();
    }
    static regions_t regions() {
        return {region(NVM_KV_SLOT_MGR), region(NVM_KV_SLOT_TBL), region(NVM_KV_LIGHT_DATA)};
    }
};

} // namespace

TEST_F(NvmPowerCut, EveryCutLeavesTheOldOrTheNewValue) {
    std::vector<step_t> steps;
    for (uint16_t i = 0; i < 96; ++i) {
        const auto fill = std::vector<uint8_t>(5, static_cast<uint8_t>(i));
        if (i % 24 == 3) {
            steps.push_back({NVM_KV_SLOT_TBL, 0, 0, static_cast<uint16_t>(i * 7 % 250), fill});
        } else if (i % 24 == 15) {
            steps.push_back({NVM_KV_SLOT_MGR, 0, 0, static_cast<uint16_t>(i % 27), fill});
        } else if (i % 9 == 4) {
            steps.push_back({NVM_KV_LIGHT_DATA, 0, 0, static_cast<uint16_t>(7 + i % 20), fill});
        } else {
            steps.push_back({NVM_KV_LIGHT_DATA,
                             static_cast<uint16_t>(1 + i * 37 % 100),
                             static_cast<uint16_t>(i * 11 % 101),
                             0,
                             {}});
        }
    }
    // The regions after each step, worked out by hand: the saved record is
    // cs, 0xAA, power, bright and temper little-endian, cs the CRC-8 of the
    // six bytes after it.
    std::vector<regions_t> model(1);
    for (nvm_kv_t key : journaled) {
        model[0][key] = std::vector<uint8_t>(region_size[key], 0xFF);
    }
    std::vector<std::pair<uint16_t, uint16_t>> saved(1, {100, 0}); // defaults
    for (const step_t &s : steps) {
        regions_t r = model.back();
        if (s.raw.empty()) {
            const uint8_t rec[7] = {0,
                                    0xAA,
                                    static_cast<uint8_t>(s.bright % 2 == 0),
                                    static_cast<uint8_t>(s.bright),
                                    static_cast<uint8_t>(s.bright >> 8),
                                    static_cast<uint8_t>(s.temper),
                                    static_cast<uint8_t>(s.temper >> 8)};
            std::copy(rec, rec + 7, r[s.key].begin());
            r[s.key][0] = crc8(rec + 1, 6);
            saved.push_back({s.bright, s.temper});
        } else {
            std::copy(s.raw.begin(), s.raw.end(), r[s.key].begin() + s.offset);
            saved.push_back(saved.back());
        }
        model.push_back(r);
    }
    const std::vector<uint8_t> scene(2048, 0x65);
    ASSERT_EQ(nvm_write(NVM_KV_SCENE_DATA, 0, scene.data(), 2048), 2048);

    // Dry run: the image before each step and the operations of each step.
    std::vector<std::vector<uint8_t>> before;
    std::vector<std::vector<op_t>> ops(steps.size());
    for (size_t j = 0; j < steps.size(); ++j) {
        before.push_back(snapshot());
        flash_host_set_op_listener(record_op, &ops[j]);
        ASSERT_TRUE(run(steps[j])) << j;
        flash_host_set_op_listener(nullptr, nullptr);
        ASSERT_EQ(regions(), model[j + 1]) << j;
    }
    ASSERT_LE(flash_host_most_word_programs(), 2u); // counted from erase_all, not after restores

    uint32_t cuts = 0, in_erases = 0, in_regions = 0, erases = 0;
    for (size_t j = 0; j < steps.size(); ++j) {
        const nvm_kv_t key = steps[j].key;
        for (size_t i = 0; i < ops[j].size(); ++i) {
            const bool erase = ops[j][i].kind == 'E';
            erases += erase ? 1 : 0;
            for (uint32_t b : cut_bytes(ops[j][i])) {
                ++cuts;
                in_erases += erase ? 1 : 0;
                in_regions += ops[j][i].len == 16 && b > 0 ? 1 : 0;
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
                regions_t got = regions();
                ASSERT_TRUE(got[key] == model[j][key] || got[key] == model[j + 1][key]) << at;
                got[key] = model[j][key];
                ASSERT_EQ(got, model[j]) << at;
                const std::pair<uint16_t, uint16_t> lamp{light_ctrl_data.bright,
                                                         light_ctrl_data.temper};
                ASSERT_TRUE(lamp == saved[j] || lamp == saved[j + 1])
                    << at << ": " << lamp.first << "/" << lamp.second;
                ASSERT_TRUE(light_ctrl_data.switch_status) << at;
                ASSERT_EQ(region(NVM_KV_SCENE_DATA), scene) << at;

                // The store goes on: first a value other than the one cut
                // short (torn space must not be programmed again), then the
                // step, and after a cut in an erase a sector's worth more,
                // through the next hand-over.
                const uint8_t other = 0xA5; // byte 31 of the light region is no step's
                ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 31, &other, 1), 1) << at;
                ASSERT_TRUE(run(steps[j])) << at;
                const uint32_t more = erase ? small_entries + 1 : 0;
                for (uint32_t n = 0; n < more; ++n) {
                    const uint8_t v = static_cast<uint8_t>(n);
                    ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 31, &v, 1), 1) << at << " +" << n;
                }
                nvm_init();
                regions_t want = model[j + 1];
                want[NVM_KV_LIGHT_DATA][31] = more != 0 ? static_cast<uint8_t>(more - 1) : other;
                ASSERT_EQ(regions(), want) << at;
                ASSERT_EQ(flash_host_nor_violations(), 0u) << at;
            }
        }
    }
    std::printf("[ cuts     ] %u cut points over %zu writes: %u in %u erases of a "
                "sector hand-over, %u inside an entry's region\n",
                cuts, steps.size(), in_erases, erases, in_regions);
    EXPECT_GE(erases, 4u); // round the ring and into a sector used before
    EXPECT_GT(in_regions, 0u);
}
