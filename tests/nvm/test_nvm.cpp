// The store on its own: refusals, read-back and merging, the documented
// journal layout, start-up from hand-built images, failing flash, the scene
// region, flash wear, and the simulated flash's scrambled cuts.
#include "nvm_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

using namespace nvm_layout;

namespace {

class Nvm : public ::testing::Test {
  protected:
    void SetUp() override {
        flash_host_erase_all();
        nvm_init();
    }
    void TearDown() override {
        EXPECT_EQ(flash_host_nor_violations(), 0u);
        // Once per erase; a slot a failed program left erased may be handed
        // out again after a restart.
        EXPECT_LE(flash_host_most_word_programs(), 2u);
    }
    static std::vector<uint8_t> bytes(size_t n, uint8_t first, uint8_t step = 1) {
        std::vector<uint8_t> v(n);
        for (size_t i = 0; i < n; ++i) {
            v[i] = static_cast<uint8_t>(first + i * step);
        }
        return v;
    }
    static void put(nvm_kv_t key, uint16_t offset, const std::vector<uint8_t> &v) {
        ASSERT_EQ(nvm_write(key, offset, v.data(), static_cast<uint16_t>(v.size())), v.size());
    }
    static std::vector<uint8_t> light(uint8_t fill) { return std::vector<uint8_t>(32, fill); }
};

const nvm_kv_t M = NVM_KV_SLOT_MGR, T = NVM_KV_SLOT_TBL, L = NVM_KV_LIGHT_DATA,
               S = NVM_KV_SCENE_DATA;

} // namespace

TEST_F(Nvm, RefusedCallsChangeNothing) {
    put(L, 0, bytes(7, 1));
    put(S, 0, bytes(4, 9));
    struct bad_call {
        nvm_kv_t key;
        uint16_t offset, len;
    };
    const bad_call calls[] = {{NVM_KV_MAX, 0, 1}, {0xFF, 0, 1}, {M, 0, 33},   {M, 32, 1},
                              {T, 200, 57},       {T, 257, 0},  {L, 30, 3},   {L, 0xFFFF, 2},
                              {L, 1, 0xFFFF},     {S, 2047, 2}, {S, 0, 2049}, {L, 0, 0},
                              {S, 0, 0}};
    const auto before = snapshot();
    const uint32_t ops = flash_host_operations();
    for (const bad_call &c : calls) {
        std::vector<uint8_t> buf(4096, 0x5A);
        EXPECT_EQ(nvm_write(c.key, c.offset, buf.data(), c.len), 0)
            << int(c.key) << "@" << c.offset;
        nvm_read(c.key, c.offset, buf.data(), c.len);
        EXPECT_EQ(buf, std::vector<uint8_t>(4096, 0x5A)) << int(c.key) << "@" << c.offset;
    }
    EXPECT_EQ(nvm_write(L, 0, nullptr, 7), 0);
    EXPECT_EQ(nvm_write(S, 0, nullptr, 1), 0);
    nvm_read(L, 0, nullptr, 7);
    EXPECT_EQ(flash_host_operations(), ops);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(region(L)[6], 7);
    // The last byte of each region is still reachable.
    for (nvm_kv_t key = 0; key < NVM_KV_MAX; ++key) {
        const uint8_t v = static_cast<uint8_t>(0x10 + key);
        const uint16_t last = static_cast<uint16_t>(region_size[key] - 1);
        EXPECT_EQ(nvm_write(key, last, &v, 1), 1);
        uint8_t got = 0;
        nvm_read(key, last, &got, 1);
        EXPECT_EQ(got, v);
    }
}

TEST_F(Nvm, WritesMergeIntoTheRegionAndSurviveARestart) {
    // Each step and the whole regions expected after it, worked out by hand.
    std::vector<uint8_t> mgr(32, 0xFF), tbl(256, 0xFF), lit(32, 0xFF), scene(2048, 0xFF);
    put(M, 0, bytes(32, 0x20));
    mgr = bytes(32, 0x20);
    put(T, 100, bytes(20, 0x80));
    std::copy_n(bytes(20, 0x80).begin(), 20, tbl.begin() + 100);
    put(T, 250, {0x00, 0xFF, 0x55}); // raises bits already cleared
    tbl[250] = 0x00;
    tbl[252] = 0x55;
    put(L, 7, {0xA1, 0xA2});
    lit[7] = 0xA1;
    lit[8] = 0xA2;
    put(L, 0, bytes(7, 0x40));
    std::copy_n(bytes(7, 0x40).begin(), 7, lit.begin());
    put(L, 3, {0xFF}); // a bit rises: a new version
    lit[3] = 0xFF;
    put(S, 0, bytes(2048, 3, 7));
    scene = bytes(2048, 3, 7);
    put(S, 1000, bytes(40, 0xF0)); // straddles the two scene sectors
    std::copy_n(bytes(40, 0xF0).begin(), 40, scene.begin() + 1000);
    for (int restart = 0; restart < 2; ++restart) {
        EXPECT_EQ(regions(), (regions_t{mgr, tbl, lit, scene}));
        nvm_init();
    }
    // The scene region lies plain at the start of its sectors.
    EXPECT_EQ(*at(scene_sector * sector + 1000), 0xF0);
}

TEST_F(Nvm, WritesLayOutTheDocumentedEntries) {
    std::vector<uint8_t> want(FLASH_DATA_SIZE, 0xFF);
    const auto place = [&](uint32_t r, uint32_t offset, const std::vector<uint8_t> &b) {
        std::copy(b.begin(), b.end(), want.begin() + ring[r] * sector + offset);
    };
    // A store used before, then erased: start-up goes by the flash alone.
    put(L, 0, {1});
    put(L, 0, std::vector<uint8_t>(32, 2));
    flash_host_erase_all();
    nvm_init();
    // No journal sector yet: the first write formats the ring's first sector
    // as generation 1, its entry in slot 0.
    const uint8_t rec[7] = {0xC6, 0xAA, 0x01, 0x46, 0x00, 0x1E, 0x00};
    ASSERT_EQ(nvm_write(L, 0, rec, 7), 7);
    std::vector<uint8_t> lit = light(0xFF);
    std::copy(rec, rec + 7, lit.begin());
    std::vector<uint8_t> e1 = {L, 1, 0, 0, 0xC6, 0xAA, 0x01, 0x46, 0x00, 0x1E, 0x00};
    e1.resize(slot_size, 0xFF);
    std::vector<uint8_t> checked = e1;
    checked.erase(checked.begin() + 3); // all but the check
    e1[3] = check_sum_update(0x5A, checked.data(), uint16_t(checked.size()));
    std::vector<uint8_t> h = {0x4C, 0x53, 0x54, 0x32, 1, 0};
    h.push_back(check_sum_update(0x5A, h.data(), 6));
    h.push_back(0xFE); // the generation's complement
    h.push_back(0xFF);
    place(0, 0, h);
    place(0, header_size, e1);
    EXPECT_EQ(snapshot(), want);

    // Next versions follow in the same sector: the light record in slot 1, the
    // slot table over slots 2..9.
    lit[3] = 0x47;
    put(L, 3, {0x47});
    put(T, 255, {0x12});
    std::vector<uint8_t> tbl(256, 0xFF);
    tbl[255] = 0x12;
    place(0, header_size + slot_size, entry(L, 1, lit));
    place(0, header_size + 2 * slot_size, entry(T, 1, tbl));
    EXPECT_EQ(snapshot(), want);

    // 18 more fill the sector; the next one hands over to the ring's next
    // sector: the table's current entry first, then the new light record,
    // then the header of generation 2. The old sector is left as it was.
    for (uint8_t i = 0; i < 18; ++i) {
        lit[9] = i;
        put(L, 9, {i});
        place(0, header_size + (10 + i) * slot_size, entry(L, 1, lit));
    }
    lit[9] = 0x99;
    put(L, 9, {0x99});
    place(1, 0, sector_header(2));
    place(1, header_size, entry(T, 2, tbl));
    place(1, header_size + 8 * slot_size, entry(L, 2, lit));
    EXPECT_EQ(snapshot(), want);
}

// Hand-built images in the documented layout: the head is the valid sector of
// the newest generation, a key's value its last complete entry there (or in
// the sector before, one generation older), nothing that fails a check is
// read, and the next entry goes after the head's last used slot.
TEST_F(Nvm, StartUpFindsTheHeadAndTheNewestCompleteEntries) {
    struct placed {
        uint32_t r;
        int slot; // -1: the sector header
        std::vector<uint8_t> bytes;
    };
    using image = std::vector<placed>;
    const auto img = [](auto... p) { return image{p...}; };
    const auto hdr = [](uint32_t r, uint16_t gen) { return placed{r, -1, sector_header(gen)}; };
    const auto hdr_before = [](uint32_t r, uint16_t gen) { // the format before
        return placed{r, -1, sector_header(gen, true)};
    };
    const auto ent = [](uint32_t r, int s, nvm_kv_t key, uint16_t gen, uint8_t fill) {
        return placed{r, s, entry(key, gen, light(fill))};
    };
    const auto with = [](placed p, size_t i, uint8_t v) {
        p.bytes[i] = v;
        return p;
    };
    const auto torn = [&](uint32_t r, int s, uint16_t gen, uint8_t fill) { // before its key
        placed p = ent(r, s, L, gen, fill);
        std::fill_n(p.bytes.begin(), 4, 0xFF);
        return p;
    };
    // A region whose entry check comes out as 0xFF, so it is stored as 0.
    std::vector<uint8_t> ff_check = light(0x00);
    const auto raw_check = [](const std::vector<uint8_t> &region) {
        std::vector<uint8_t> c{L, 9, 0};
        c.insert(c.end(), region.begin(), region.end());
        return check_sum_update(seed, c.data(), uint16_t(c.size()));
    };
    while (raw_check(ff_check) != 0xFF) {
        ++ff_check[0];
    }
    std::vector<uint8_t> table_at_end = entry(T, 3, std::vector<uint8_t>(256, 0x66));
    table_at_end.resize(sector - header_size - 21 * slot_size); // cut at the sector's end
    const std::vector<uint8_t> none = light(0xFF);
    // A slot table entry whose key and generation came through but not its
    // check; its region ends in erased slots.
    std::vector<uint8_t> table_region(256, 0xFF);
    std::fill_n(table_region.begin(), 200, 0x22);
    std::vector<uint8_t> table_unchecked = entry(T, 3, table_region);
    table_unchecked[3] = static_cast<uint8_t>(table_unchecked[3] + 1);
    struct image_case {
        const char *name;
        std::vector<uint8_t> light, mgr;
        uint32_t next_r, next_slot; // where the next light entry goes
        image parts;
    };
    const image_case cases[] = {
        {"newer generation in the next sector", light(0x22), none, 1, 1,
         img(hdr(0, 5), ent(0, 0, L, 5, 0x11), hdr(1, 6), ent(1, 0, L, 6, 0x22))},
        {"newer generation in the first sector", light(0x22), none, 0, 1,
         img(hdr(1, 5), ent(1, 0, L, 5, 0x11), hdr(0, 6), ent(0, 0, L, 6, 0x22))},
        {"across the 16-bit wrap", light(0x33), none, 0, 1,
         img(hdr(2, 0xFFFF), ent(2, 0, L, 0xFFFF, 0x11), hdr(0, 0), ent(0, 0, L, 0, 0x33))},
        {"last entry of the sector", light(0x22), none, 0, 2,
         img(hdr(0, 3), ent(0, 0, L, 3, 0x11), ent(0, 1, L, 3, 0x22))},
        {"newest torn before its key", light(0x11), none, 0, 2,
         img(hdr(0, 3), ent(0, 0, L, 3, 0x11), torn(0, 1, 3, 0x22))},
        {"newest torn before its check", light(0x11), none, 0, 2,
         img(hdr(0, 3), ent(0, 0, L, 3, 0x11), with(ent(0, 1, L, 3, 0x22), 3, 0xFF))},
        {"newest of another generation", light(0x11), none, 0, 2,
         img(hdr(0, 3), ent(0, 0, L, 3, 0x11), ent(0, 1, L, 4, 0x22))},
        {"newest with a key not journaled", light(0x11), none, 0, 3,
         img(hdr(0, 3), ent(0, 0, L, 3, 0x11), ent(0, 1, S, 3, 0x22), ent(0, 2, 0xFE, 3, 0x22))},
        {"all-zero slots", light(0x11), none, 0, 3,
         img(hdr(0, 0), ent(0, 0, L, 0, 0x11), placed{0, 1, std::vector<uint8_t>(72, 0x00)})},
        {"check stored as 0", ff_check, none, 1, 1,
         img(hdr(1, 9), placed{1, 0, entry(L, 9, ff_check)})},
        {"only torn entries", none, none, 0, 1, img(hdr(0, 3), torn(0, 0, 3, 0x22))},
        {"stray bits after the last entry", light(0x11), none, 0, 21,
         img(hdr(0, 3), ent(0, 0, L, 3, 0x11), placed{0, 20, {0xFF, 0xFF, 0xFF, 0xFF, 0xEF}})},
        {"slot table past the sector's end: the sector is used up", light(0x11), none, 1, 0,
         img(hdr(0, 3), ent(0, 0, L, 3, 0x11), placed{0, 21, table_at_end})},
        {"a key the head lacks comes from the sector before", light(0x22), light(0x44), 1, 1,
         img(hdr(0, 3), ent(0, 0, M, 3, 0x44), ent(0, 1, L, 3, 0x11), hdr(1, 4),
             ent(1, 0, L, 4, 0x22))},
        {"... only from the generation before", light(0x22), none, 1, 1,
         img(hdr(0, 2), ent(0, 0, M, 2, 0x44), hdr(1, 4), ent(1, 0, L, 4, 0x22))},
        {"a damaged header leaves the older sector the head", light(0x11), none, 0, 1,
         img(hdr(0, 3), ent(0, 0, L, 3, 0x11), with(hdr(1, 4), 6, 0x00), ent(1, 0, L, 4, 0x22))},
        {"a wrong magic too", light(0x11), none, 0, 1,
         img(hdr(0, 3), ent(0, 0, L, 3, 0x11), with(hdr(1, 4), 0, 0x4D), ent(1, 0, L, 4, 0x22))},
        {"a header without the generation's complement", light(0x11), none, 0, 1,
         img(hdr(0, 3), ent(0, 0, L, 3, 0x11), with(hdr(1, 4), 7, 0xFF), ent(1, 0, L, 4, 0x22))},
        {"headers of the format before count", light(0x22), light(0x44), 1, 1,
         img(hdr_before(0, 3), ent(0, 0, M, 3, 0x44), hdr_before(1, 4), ent(1, 0, L, 4, 0x22))},
        {"... the newer generation of either format is the head", light(0x22), none, 1, 1,
         img(hdr(0, 3), ent(0, 0, L, 3, 0x11), hdr_before(1, 4), ent(1, 0, L, 4, 0x22))},
        // Written into its erased slots, a later entry could make that check
        // come true over bytes never written as the table.
        {"an entry whose check did not come through keeps all its slots", light(0x11), none, 0, 9,
         img(hdr(0, 3), ent(0, 0, L, 3, 0x11), placed{0, 1, table_unchecked})},
    };
    for (const image_case &c : cases) {
        flash_host_erase_all();
        for (const placed &p : c.parts) {
            uint8_t *dst = p.slot < 0 ? ring_at(p.r, 0) : slot(p.r, static_cast<uint32_t>(p.slot));
            std::copy(p.bytes.begin(), p.bytes.end(), dst);
        }
        nvm_init();
        EXPECT_EQ(region(L), c.light) << c.name;
        EXPECT_EQ(region(M), c.mgr) << c.name;
        const uint8_t v = 0x77;
        ASSERT_EQ(nvm_write(L, 31, &v, 1), 1) << c.name;
        EXPECT_EQ(slot(c.next_r, c.next_slot)[4 + 31], 0x77) << c.name;
        nvm_init();
        std::vector<uint8_t> lit = c.light;
        lit[31] = 0x77;
        EXPECT_EQ(region(L), lit) << c.name;
        EXPECT_EQ(region(M), c.mgr) << c.name;
    }
}

TEST_F(Nvm, AFailedProgramAbandonsItsSlotAndTheWriteGoesOn) {
    put(L, 0, bytes(7, 1)); // slot 0
    // Each of the three programs of an entry (two region pieces, then key,
    // generation and check) fails once, half done: the write takes the next slot.
    for (uint32_t n = 1; n <= 3; ++n) {
        const auto fresh = bytes(7, static_cast<uint8_t>(0x10 * n));
        flash_host_cut_at(n);
        EXPECT_EQ(nvm_write(L, 0, fresh.data(), 7), 7) << n;
        flash_host_cut_at(0);
        EXPECT_EQ(region(L)[6], fresh[6]) << n;
        nvm_init();
        EXPECT_EQ(region(L)[6], fresh[6]) << n;
        EXPECT_EQ(slot(0, 2 * n)[4], fresh[0]) << n; // slot 2n - 1 left torn
        EXPECT_FALSE(std::all_of(slot(0, 2 * n - 1), slot(0, 2 * n), [](uint8_t b) {
            return b == 0xFF;
        })) << n;
    }
}

// Bits that change after start-up (disturbed cells): a slot that no longer
// reads erased is passed over, never programmed over.
TEST_F(Nvm, ASlotSpoiledAfterStartUpIsPassedOver) {
    put(L, 0, bytes(7, 1)); // slot 0
    nvm_init();
    slot(0, 1)[20] = 0xFB;
    slot(0, 3)[0] = 0x02; // looks like a light entry's key
    put(L, 0, bytes(7, 2));
    put(L, 0, bytes(7, 3));
    EXPECT_EQ(slot(0, 2)[4], 2);
    EXPECT_EQ(slot(0, 4)[4], 3);
    nvm_init();
    EXPECT_EQ(region(L)[0], 3);
}

// Each failed program costs one slot, so a write ends after every slot of the
// head and at most one hand-over: 2 x 28 programs and an erase.
TEST_F(Nvm, AFailingFlashEndsTheWriteInBoundedSteps) {
    const auto old = bytes(7, 1), fresh = bytes(7, 0x70);
    put(L, 0, old);
    flash_host_refuse_writes(true);
    uint32_t ops = flash_host_operations();
    EXPECT_EQ(nvm_write(L, 0, fresh.data(), 7), 0);
    EXPECT_EQ(flash_host_operations() - ops, slots - 1 + 1); // the head's free slots, one erase
    ops = flash_host_operations();
    EXPECT_EQ(nvm_write(L, 0, fresh.data(), 7), 0);
    EXPECT_EQ(flash_host_operations() - ops, 1u); // the head is used up: the erase
    EXPECT_EQ(nvm_write(S, 0, fresh.data(), 7), 0);
    flash_host_refuse_writes(false);
    EXPECT_EQ(region(L)[6], 7);

    // Worn cells: the head's free slots no longer program; the write hands
    // over to the next sector.
    nvm_init();
    flash_host_wear_out(ring[0] * sector + header_size + slot_size, (slots - 1) * slot_size);
    put(L, 0, fresh);
    EXPECT_EQ(slot(1, 0)[4], fresh[0]);
    nvm_init();
    EXPECT_EQ(region(L)[6], fresh[6]);
    // Everything worn: the write fails in bounded steps and keeps the value.
    flash_host_wear_out(0, FLASH_DATA_SIZE);
    ops = flash_host_operations();
    EXPECT_EQ(nvm_write(L, 0, old.data(), 7), 0);
    EXPECT_LE(flash_host_operations() - ops, 2 * slots + 1);
    flash_host_wear_out(0, 0);
    EXPECT_EQ(region(L)[6], fresh[6]);
    nvm_init();
    EXPECT_EQ(region(L)[6], fresh[6]);
    put(L, 0, old);
    nvm_init();
    EXPECT_EQ(region(L)[6], 7);
}

// A scene write reports the failure of any one of its erases and programs
// (into the scratch sector, then back), and a later write still succeeds.
TEST_F(Nvm, ASceneWriteReportsAFailureAtAnyOfItsSteps) {
    const auto v = bytes(40, 3);
    std::vector<char> kinds;
    flash_host_set_op_listener(
        [](void *ctx, char kind, uint32_t, uint32_t) {
            static_cast<std::vector<char> *>(ctx)->push_back(kind);
        },
        &kinds);
    put(S, 1000, v); // crosses into the second sector
    flash_host_set_op_listener(nullptr, nullptr);
    ASSERT_EQ(std::count(kinds.begin(), kinds.end(), 'E'), 4);
    for (uint32_t n = 1; n <= kinds.size(); ++n) {
        flash_host_cut_at(n);
        EXPECT_EQ(nvm_write(S, 1000, v.data(), 40), 0) << "operation " << n << " " << kinds[n - 1];
        flash_host_cut_at(0);
        put(S, 1000, v);
    }
}

// Erasing ahead: the sector the next hand-over takes, once; a failed erase
// is not tried again before that hand-over, which erases the sector itself.
TEST_F(Nvm, ErasingAheadPreparesTheNextHandOverOnce) {
    for (uint16_t i = 0; i < 3 * slots; ++i) { // round the ring: every sector used
        put(L, 0, bytes(7, static_cast<uint8_t>(i)));
    }
    const uint32_t ops = flash_host_operations();
    EXPECT_EQ(nvm_prepared(), 0);
    flash_host_refuse_writes(true);
    EXPECT_NE(nvm_prepare(), 0);
    EXPECT_EQ(nvm_prepared(), 1);
    EXPECT_NE(nvm_prepare(), 0);
    EXPECT_EQ(flash_host_operations(), ops + 1); // one erase tried
    flash_host_refuse_writes(false);
    uint32_t erases = 0;
    flash_host_set_op_listener(
        [](void *ctx, char kind, uint32_t, uint32_t) {
            *static_cast<uint32_t *>(ctx) += kind == 'E' ? 1 : 0;
        },
        &erases);
    put(L, 0, bytes(7, 0x55)); // the hand-over
    EXPECT_EQ(erases, 1u);
    EXPECT_EQ(nvm_prepared(), 0);
    EXPECT_EQ(nvm_prepare(), 0); // the next one, erased now
    EXPECT_EQ(nvm_prepare(), 0);
    EXPECT_EQ(erases, 2u);
    for (uint16_t i = 0; i < slots; ++i) { // through the next hand-over: no erase
        put(L, 0, bytes(7, static_cast<uint8_t>(0x60 + i)));
    }
    EXPECT_EQ(erases, 2u);
    flash_host_set_op_listener(nullptr, nullptr);
    nvm_init();
    EXPECT_EQ(region(L)[0], 0x60 + slots - 1);
}

// A prepared sector whose header no longer reads erased (bits that came
// back after the erase ahead) is erased again by the hand-over, never
// programmed over.
TEST_F(Nvm, APreparedSectorSpoiledSinceIsErasedAgain) {
    for (uint16_t i = 0; i < 3 * slots; ++i) { // round the ring: every sector used
        put(L, 0, bytes(7, static_cast<uint8_t>(i)));
    }
    uint32_t prepared = 0;
    flash_host_set_op_listener(
        [](void *ctx, char kind, uint32_t offset, uint32_t) {
            if (kind == 'E') {
                *static_cast<uint32_t *>(ctx) = offset;
            }
        },
        &prepared);
    ASSERT_EQ(nvm_prepare(), 0);
    flash_host_set_op_listener(nullptr, nullptr);
    ASSERT_EQ(nvm_prepared(), 1);
    flash_host_image()[prepared + 3] = 0x5A; // in the header, read before it is used
    const uint32_t erases = flash_host_erase_count(prepared / sector);
    for (uint16_t i = 0; i < slots; ++i) { // through the hand-over
        put(L, 0, bytes(7, static_cast<uint8_t>(0x60 + i)));
    }
    EXPECT_EQ(flash_host_erase_count(prepared / sector), erases + 1);
    nvm_init();
    EXPECT_EQ(region(L)[0], 0x60 + slots - 1);
}

TEST_F(Nvm, HundredThousandLightSavesSpreadTheErases) {
    constexpr uint32_t saves = 100000;
    for (const bool slot_regions : {false, true}) {
        flash_host_erase_all();
        nvm_init();
        if (slot_regions) {
            put(M, 0, bytes(32, 0x20));
            put(T, 0, bytes(256, 0x30));
        }
        uint32_t before[FLASH_DATA_SECTOR_COUNT];
        for (uint32_t s = 0; s < FLASH_DATA_SECTOR_COUNT; ++s) {
            before[s] = flash_host_erase_count(s);
        }
        uint8_t rec[7] = {};
        for (uint32_t i = 0; i < saves; ++i) {
            for (uint8_t b = 0; b < 7; ++b) {
                rec[b] = static_cast<uint8_t>((i >> (b % 4 * 8)) + b);
            }
            ASSERT_EQ(nvm_write(L, 0, rec, 7), 7) << i;
        }
        uint32_t most = 0, total = 0;
        for (uint32_t s = 0; s < FLASH_DATA_SECTOR_COUNT; ++s) {
            const uint32_t n = flash_host_erase_count(s) - before[s];
            most = std::max(most, n);
            total += n;
            if (std::find(std::begin(ring), std::end(ring), s) == std::end(ring)) {
                EXPECT_EQ(n, 0u) << "sector " << s;
            }
        }
        std::printf("[ wear     ] %u light saves%s: %u erases in all (one per %.1f saves), "
                    "most-erased sector %u (one per %.1f saves)\n",
                    saves, slot_regions ? " with the slot regions written" : " alone", total,
                    double(saves) / total, most, double(saves) / most);
        EXPECT_LE(most * 50, saves);
        EXPECT_EQ(flash_host_most_word_programs(), 1u);
        nvm_init();
        std::vector<uint8_t> expect(32, 0xFF);
        std::copy(rec, rec + 7, expect.begin());
        EXPECT_EQ(region(L), expect);
        if (slot_regions) {
            EXPECT_EQ(region(T), bytes(256, 0x30));
            EXPECT_EQ(region(M), bytes(32, 0x20));
        }
    }
}

// The simulated flash's scrambled power cut, which the sweeps rely on: an
// erase leaves erased, old and other bytes, a program a leading part and some
// bits of the byte after it, the same for the same seed.
TEST(FlashHost, ScrambledCutsLeaveArbitraryBitsDrawnFromTheSeed) {
    const auto cut_erase = [](uint32_t seed) {
        flash_host_erase_all();
        std::memset(flash_host_image() + sector, 0x3C, sector);
        flash_host_power_cut_scrambled(1, seed);
        EXPECT_NE(flash_erase_sector(sector), 0);
        EXPECT_NE(flash_erase_sector(sector), 0); // power stays off
        flash_host_power_restore();
        return std::vector<uint8_t>(at(sector), at(2 * sector));
    };
    const auto a = cut_erase(1), b = cut_erase(1), c = cut_erase(2);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    const auto count = [&](auto pred) { return std::count_if(a.begin(), a.end(), pred); };
    EXPECT_GT(count([](uint8_t x) { return x == 0xFF; }), 200);
    EXPECT_GT(count([](uint8_t x) { return x == 0x3C; }), 200);
    EXPECT_GT(count([](uint8_t x) { return x != 0xFF && x != 0x3C; }), 200);
    EXPECT_EQ(std::count(at(0), at(sector), 0xFF), sector); // other sectors untouched

    std::set<uint32_t> kept_counts;
    for (uint32_t seed = 1; seed < 200; ++seed) {
        flash_host_erase_all();
        const std::vector<uint8_t> in(16, 0x00);
        flash_host_power_cut_scrambled(1, seed);
        EXPECT_NE(flash_program(100, in.data(), 16), 0);
        flash_host_power_restore();
        const uint8_t *p = at(100);
        const uint32_t kept =
            static_cast<uint32_t>(std::find_if(p, p + 16, [](uint8_t x) { return x != 0; }) - p);
        kept_counts.insert(kept);
        if (kept < 15) {
            EXPECT_TRUE(std::all_of(p + kept + 1, p + 16, [](uint8_t x) { return x == 0xFF; }));
        }
    }
    EXPECT_GT(kept_counts.size(), 10u);
}

// An erase cut short only raises bits. The sector it hits holds the oldest
// generation; its header's generation and complement cannot both change that
// way, so whatever bits rise, the sector never counts with another
// generation: the head and every value stay, and the saves go on.
class NvmRaisedBits : public Nvm {
  protected:
    // A used image: the ring gone round, so that the next sector to erase
    // holds the oldest generation's header.
    void SetUp() override {
        Nvm::SetUp();
        for (uint16_t i = 0; i < 3 * slots + 4; ++i) {
            put(L, 0, bytes(7, static_cast<uint8_t>(i)));
        }
        put(M, 0, bytes(32, 0x40));
        for (uint32_t r = 0; r < 3; ++r) {
            ASSERT_EQ(ring_at(r, 0)[0], magic[0]) << "the ring has not gone round";
        }
        used = snapshot();
        values = regions();
        flash_host_set_op_listener([](void *ctx, char, uint32_t offset,
                                      uint32_t) { *static_cast<uint32_t *>(ctx) = offset; },
                                   &next_sector);
        ASSERT_EQ(nvm_prepare(), 0); // finds the sector the next hand-over erases
        flash_host_set_op_listener(nullptr, nullptr);
        restore(used);
    }
    std::vector<uint8_t> used;
    regions_t values;
    uint32_t next_sector = FLASH_DATA_SIZE;
};

// Every way the generation's bits can rise by one or two, with every way the
// check's can rise: none makes a header (the complement stands as it was).
TEST_F(NvmRaisedBits, NoRiseOfTheGenerationAndCheckMakesAHeaderCount) {
    const uint8_t *h = at(next_sector);
    const uint16_t gen = static_cast<uint16_t>(h[4] | h[5] << 8);
    const uint8_t check = h[6];
    uint32_t tried = 0;
    for (uint32_t a = 0; a < 16; ++a) {
        for (uint32_t b = a; b < 16; ++b) {
            const uint16_t raised = static_cast<uint16_t>(gen | 1u << a | 1u << b);
            if (raised == gen) {
                continue;
            }
            for (uint32_t c = 0; c < 256; ++c) {
                if ((c & check) != check) {
                    continue; // a bit of the check would have to fall
                }
                restore(used);
                at(next_sector)[4] = static_cast<uint8_t>(raised);
                at(next_sector)[5] = static_cast<uint8_t>(raised >> 8);
                at(next_sector)[6] = static_cast<uint8_t>(c);
                nvm_init();
                ++tried;
                ASSERT_EQ(regions(), values) << "generation " << raised << ", check " << c;
            }
        }
    }
    std::printf("[ raised   ] %u headers of the generation %u with bits risen: none counts\n",
                tried, gen);
    EXPECT_GT(tried, 1000u);
}

// The host flash's erase cut that raises bits anywhere in the sector, at
// several densities: the store keeps its values and goes on saving.
TEST_F(NvmRaisedBits, AnEraseCutShortKeepsEveryValue) {
    uint32_t cuts = 0, headers_kept = 0;
    for (const uint32_t one_in : {2u, 8u, 32u, 128u}) {
        for (uint32_t seed = 1; seed <= 500; ++seed) {
            restore(used);
            nvm_init();
            flash_host_power_cut_raising(1, seed * 2654435761u, one_in);
            ASSERT_NE(nvm_prepare(), 0);
            flash_host_power_restore();
            ++cuts;
            headers_kept += std::equal(magic, magic + 3, at(next_sector)) ? 1 : 0;
            nvm_init();
            ASSERT_EQ(regions(), values) << "1 in " << one_in << ", seed " << seed;
        }
    }
    ASSERT_EQ(nvm_prepare(), 0); // the sector the cut left, erased again
    for (uint16_t i = 0; i < slots + 1; ++i) {
        put(L, 0, bytes(7, static_cast<uint8_t>(0x80 + i)));
    }
    nvm_init();
    EXPECT_EQ(region(L)[0], 0x80 + slots);
    std::printf("[ raised   ] %u erases cut short, raising bits; %u left the magic\n", cuts,
                headers_kept);
    EXPECT_GT(headers_kept, 100u); // the old header came through often enough to be tried
}
