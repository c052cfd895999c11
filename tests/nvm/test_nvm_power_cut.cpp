// Power cut at every program and erase of a sequence of 96 writes to the
// store (light record saves, raw writes of the light and slot regions, round
// the ring several times, with the next sector erased ahead now and then, so
// that some hand-overs erase and some find their sector ready), each cut in every state a restart
// can tell apart (kept_by_len) and scrambled (seeded), each scrambled one followed by a second cut
// at every operation of the recovery. After each cut every journaled key holds its last completed
// value or, the key being written, the new one; the light record gives what start-up would restore
// (the last save, the one being saved, or the defaults); the scene region is untouched; and the
// store goes on working. The image before each step is kept, so a cut replays one step.
#include "light_record.h"
#include "nvm_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

using namespace nvm_layout;

namespace {

struct op_t {
    char kind;
    uint32_t len;
};

void record_op(void *ctx, char kind, uint32_t, uint32_t len) {
    static_cast<std::vector<op_t> *>(ctx)->push_back({kind, len});
}

struct cut_t {
    bool scrambled;
    uint32_t value; // bytes kept, or the seed
};

// The leading bytes a cut keeps, by the operation's length: an entry's key,
// generation and check (all 4: complete, yet reported failed); a sector
// header; a region piece; an erase.
const std::map<uint32_t, std::vector<uint32_t>> kept_by_len = {
    {4, {0, 1, 3, 4}}, {9, {0, 6, 8, 9}}, {16, {0, 8}}, {sector, {0, 16, sector / 2, sector - 1}}};

std::vector<cut_t> cuts_for(const op_t &op, uint32_t seed) {
    std::vector<cut_t> c;
    for (uint32_t k : kept_by_len.at(op.len)) {
        c.push_back({false, k});
    }
    c.push_back({true, seed});
    if (op.kind == 'E') {
        c.push_back({true, seed ^ 0x5A5A5A5Au});
    }
    return c;
}

// One step: a light record save of (bright, temper), raw bytes at `offset`
// of a journaled key's region, or (prepare) the erase ahead, which changes no
// value.
struct step_t {
    nvm_kv_t key;
    uint16_t bright, temper;
    uint16_t offset;
    std::vector<uint8_t> raw;
    bool prepare = false;
};

bool run(const step_t &s) {
    if (s.prepare) {
        return nvm_prepare() == 0;
    }
    if (s.raw.empty()) {
        return light_record::save(s.bright % 2 == 0, s.bright, s.temper);
    }
    return nvm_write(s.key, s.offset, s.raw.data(), static_cast<uint16_t>(s.raw.size())) ==
           s.raw.size();
}

} // namespace

TEST(NvmPowerCut, EveryCutLeavesTheOldOrTheNewValue) {
    std::vector<step_t> steps;
    for (uint16_t i = 0; i < 96; ++i) {
        const auto fill = std::vector<uint8_t>(5, static_cast<uint8_t>(i));
        if (i % 32 == 9) {
            steps.push_back({NVM_KV_LIGHT_DATA, 0, 0, 0, {}, true});
        } else if (i % 24 == 3) {
            steps.push_back({NVM_KV_SLOT_TBL, 0, 0, static_cast<uint16_t>(i * 7 % 250), fill});
        } else if (i % 24 == 15) {
            steps.push_back({NVM_KV_SLOT_MGR, 0, 0, static_cast<uint16_t>(i % 27), fill});
        } else if (i % 9 == 4) {
            steps.push_back({NVM_KV_LIGHT_DATA, 0, 0, static_cast<uint16_t>(7 + i % 20), fill});
        } else {
            const uint16_t bright = static_cast<uint16_t>(1 + i * 37 % 100);
            steps.push_back(
                {NVM_KV_LIGHT_DATA, bright, static_cast<uint16_t>(i * 11 % 101), 0, {}});
        }
    }
    // The regions and what start-up restores after each step, worked out here.
    flash_host_erase_all();
    nvm_init();
    const std::vector<uint8_t> scene(2048, 0x65);
    ASSERT_EQ(nvm_write(NVM_KV_SCENE_DATA, 0, scene.data(), 2048), 2048);
    std::vector<regions_t> model(1, regions());
    std::vector<light_record::values> saved(1, light_record::defaults);
    for (const step_t &s : steps) {
        regions_t r = model.back();
        if (s.prepare) {
            saved.push_back(saved.back());
        } else if (s.raw.empty()) {
            const auto rec = light_record::make(s.bright % 2 == 0, s.bright, s.temper);
            std::copy(rec.begin(), rec.end(), r[s.key].begin());
            saved.push_back({s.bright, s.temper});
        } else {
            std::copy(s.raw.begin(), s.raw.end(), r[s.key].begin() + s.offset);
            saved.push_back(saved.back());
        }
        model.push_back(r);
    }

    // Dry run: the image before each step and the operations of each step.
    std::vector<std::vector<uint8_t>> before;
    std::vector<std::vector<op_t>> ops(steps.size());
    std::vector<uint8_t> prepared; // before each step: the next sector made ready ahead
    for (size_t j = 0; j < steps.size(); ++j) {
        before.push_back(snapshot());
        prepared.push_back(nvm_prepared());
        flash_host_set_op_listener(record_op, &ops[j]);
        ASSERT_TRUE(run(steps[j])) << j;
        flash_host_set_op_listener(nullptr, nullptr);
        ASSERT_EQ(regions(), model[j + 1]) << j;
    }
    ASSERT_LE(flash_host_most_word_programs(), 1u); // counted from erase_all, not after restores

    // After a restart: the key of step j old or new (and no older than
    // `floor` when given), everything else as before the step.
    const auto check_restart = [&](size_t j, const std::string &at, const regions_t *floor) {
        nvm_init();
        regions_t got = regions();
        const nvm_kv_t key = steps[j].key;
        const bool is_new = got[key] == model[j + 1][key];
        EXPECT_TRUE(is_new || got[key] == model[j][key]) << at;
        if (floor != nullptr && (*floor)[key] == model[j + 1][key]) {
            EXPECT_TRUE(is_new) << at << ": the new value went back";
        }
        got[key] = model[j][key];
        EXPECT_EQ(got, model[j]) << at;
        const light_record::values lamp = light_record::restored();
        EXPECT_TRUE(lamp == saved[j] || lamp == saved[j + 1]) << at << ": " << lamp;
        return !::testing::Test::HasFailure();
    };

    uint32_t cuts = 0, in_erases = 0, scrambled = 0, second = 0, erases = 0;
    uint32_t erases_ahead = 0, ready_hand_overs = 0;
    for (size_t j = 0; j < steps.size(); ++j) {
        const auto has = [&](char kind, uint32_t len) {
            return std::any_of(ops[j].begin(), ops[j].end(),
                               [&](const op_t &o) { return o.kind == kind && o.len == len; });
        };
        // A sector header programmed without an erase: a hand-over to a
        // sector made ready.
        ready_hand_overs += has('P', 9) && !has('E', sector) ? 1 : 0;
        for (size_t i = 0; i < ops[j].size(); ++i) {
            const bool erase = ops[j][i].kind == 'E';
            erases += erase ? 1 : 0;
            erases_ahead += erase && steps[j].prepare ? 1 : 0;
            const uint32_t seed = static_cast<uint32_t>(j * 7919 + i * 104729 + 1);
            for (const cut_t &c : cuts_for(ops[j][i], seed)) {
                ++cuts;
                in_erases += erase ? 1 : 0;
                scrambled += c.scrambled ? 1 : 0;
                const std::string at = "step " + std::to_string(j) + " op " + std::to_string(i) +
                                       (c.scrambled ? " scrambled " : " byte ") +
                                       std::to_string(c.value);
                restore(before[j]);
                nvm_init();
                const uint32_t ops_before = flash_host_operations();
                // The same RAM as in the dry run: the board prepared the next
                // sector after the start-up (it reads erased: no operation).
                ASSERT_EQ(prepared[j] != 0 ? nvm_prepare() : 0, 0) << at;
                ASSERT_EQ(flash_host_operations(), ops_before) << at;
                c.scrambled ? flash_host_power_cut_scrambled(uint32_t(i + 1), c.value)
                            : flash_host_power_cut_at(uint32_t(i + 1), c.value);
                ASSERT_FALSE(run(steps[j])) << at;
                ASSERT_EQ(flash_host_operations() - ops_before, i + 1) << at;
                flash_host_power_restore();
                ASSERT_TRUE(check_restart(j, at, nullptr));
                const std::vector<uint8_t> after_cut = snapshot();
                const regions_t after_cut_regions = regions();

                // The store goes on: first a value other than the one cut
                // short (torn space must not be programmed again), then the
                // step, and after a cut in an erase a sector's worth more,
                // through the next hand-over.
                const uint8_t other = 0xA5; // byte 31 of the light region is no step's
                ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 31, &other, 1), 1) << at;
                ASSERT_TRUE(run(steps[j])) << at;
                const uint32_t more = erase ? slots + 1 : 0;
                for (uint32_t n = 0; n < more; ++n) {
                    const uint8_t v = static_cast<uint8_t>(n);
                    ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 31, &v, 1), 1) << at << " +" << n;
                }
                nvm_init();
                regions_t want = model[j + 1];
                want[NVM_KV_LIGHT_DATA][31] = more != 0 ? static_cast<uint8_t>(more - 1) : other;
                ASSERT_EQ(regions(), want) << at;
                ASSERT_EQ(flash_host_nor_violations(), 0u) << at;

                // A second cut, during the step run again after the restart
                // (after the scrambled cuts: they leave the most to recover).
                if (!c.scrambled) {
                    continue;
                }
                restore(after_cut);
                nvm_init();
                std::vector<op_t> again;
                flash_host_set_op_listener(record_op, &again);
                ASSERT_TRUE(run(steps[j])) << at;
                flash_host_set_op_listener(nullptr, nullptr);
                for (size_t i2 = 0; i2 < again.size(); ++i2) {
                    ++second;
                    const std::string at2 = at + ", again op " + std::to_string(i2);
                    restore(after_cut);
                    nvm_init();
                    flash_host_power_cut_scrambled(static_cast<uint32_t>(i2 + 1),
                                                   seed * 31 + static_cast<uint32_t>(i2));
                    ASSERT_FALSE(run(steps[j])) << at2;
                    flash_host_power_restore();
                    ASSERT_TRUE(check_restart(j, at2, &after_cut_regions));
                    ASSERT_TRUE(run(steps[j])) << at2;
                    nvm_init();
                    ASSERT_EQ(regions(), model[j + 1]) << at2;
                }
                ASSERT_EQ(flash_host_nor_violations(), 0u) << at;
            }
        }
    }
    std::printf("[ cuts     ] %u cut points over %zu writes: %u in %u erases (%u of them "
                "ahead), %u scrambled; %u second cuts during the recovery; %u hand-overs to a "
                "sector erased ahead\n",
                cuts, steps.size(), in_erases, erases, erases_ahead, scrambled, second,
                ready_hand_overs);
    EXPECT_GE(erases, 4u); // round the ring and into a sector used before
    EXPECT_GE(erases_ahead, 2u);
    EXPECT_GE(ready_hand_overs, 2u);
}
