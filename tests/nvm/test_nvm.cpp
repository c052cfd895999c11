// The store on its own: refusals, read-back and merging, the documented
// journal layout, start-up from hand-built images, failed writes, the scene
// region, and flash wear.
#include "nvm_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

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

} // namespace

TEST(NvmCrc, CheckValueOfTheTestSideCrc) {
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc8(check, sizeof check), 0xF4);
}

TEST_F(Nvm, RefusedCallsChangeNothing) {
    put(NVM_KV_LIGHT_DATA, 0, bytes(7, 1));
    put(NVM_KV_SCENE_DATA, 0, bytes(4, 9));
    struct bad_call {
        nvm_kv_t key;
        uint16_t offset;
        uint16_t len;
        bool null_buf;
    };
    const bad_call calls[] = {
        {NVM_KV_MAX, 0, 1, false},
        {0xFF, 0, 1, false},
        {NVM_KV_SLOT_MGR, 0, 33, false},
        {NVM_KV_SLOT_MGR, 32, 1, false},
        {NVM_KV_SLOT_TBL, 200, 57, false},
        {NVM_KV_SLOT_TBL, 257, 0, false},
        {NVM_KV_LIGHT_DATA, 30, 3, false},
        {NVM_KV_LIGHT_DATA, 0xFFFF, 2, false},
        {NVM_KV_LIGHT_DATA, 1, 0xFFFF, false},
        {NVM_KV_SCENE_DATA, 2047, 2, false},
        {NVM_KV_SCENE_DATA, 0, 2049, false},
        {NVM_KV_LIGHT_DATA, 0, 7, true},
        {NVM_KV_SCENE_DATA, 0, 1, true},
    };
    const auto before = snapshot();
    const uint32_t ops = flash_host_operations();
    for (const bad_call &c : calls) {
        std::vector<uint8_t> buf(4096, 0x5A);
        uint8_t *p = c.null_buf ? nullptr : buf.data();
        EXPECT_EQ(nvm_write(c.key, c.offset, p, c.len), 0) << int(c.key) << "@" << c.offset;
        nvm_read(c.key, c.offset, p, c.len);
        EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](uint8_t b) { return b == 0x5A; }))
            << int(c.key) << "@" << c.offset << "+" << c.len;
    }
    EXPECT_EQ(flash_host_operations(), ops);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(region(NVM_KV_LIGHT_DATA)[6], 7);
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

TEST_F(Nvm, NeverWrittenKeysReadErased) {
    for (nvm_kv_t key = 0; key < NVM_KV_MAX; ++key) {
        EXPECT_EQ(region(key), std::vector<uint8_t>(region_size[key], 0xFF)) << int(key);
    }
}

TEST_F(Nvm, WritesMergeIntoTheRegionAndSurviveARestart) {
    // Each step and the whole regions expected after it, worked out by hand.
    std::vector<uint8_t> mgr(32, 0xFF), tbl(256, 0xFF), lit(32, 0xFF), scene(2048, 0xFF);
    put(NVM_KV_SLOT_MGR, 0, bytes(32, 0x20));
    mgr = bytes(32, 0x20);
    put(NVM_KV_SLOT_TBL, 100, bytes(20, 0x80));
    std::copy_n(bytes(20, 0x80).begin(), 20, tbl.begin() + 100);
    put(NVM_KV_SLOT_TBL, 250, {0x00, 0xFF, 0x55}); // raises bits already cleared
    tbl[250] = 0x00;
    tbl[252] = 0x55;
    put(NVM_KV_LIGHT_DATA, 7, {0xA1, 0xA2});
    lit[7] = 0xA1;
    lit[8] = 0xA2;
    put(NVM_KV_LIGHT_DATA, 0, bytes(7, 0x40));
    std::copy_n(bytes(7, 0x40).begin(), 7, lit.begin());
    put(NVM_KV_LIGHT_DATA, 3, {0xFF}); // a bit rises: a new version
    lit[3] = 0xFF;
    put(NVM_KV_SCENE_DATA, 0, bytes(2048, 3, 7));
    scene = bytes(2048, 3, 7);
    put(NVM_KV_SCENE_DATA, 1000, bytes(40, 0xF0)); // straddles the two scene sectors
    std::copy_n(bytes(40, 0xF0).begin(), 40, scene.begin() + 1000);
    for (int restart = 0; restart < 2; ++restart) {
        EXPECT_EQ(region(NVM_KV_SLOT_MGR), mgr);
        EXPECT_EQ(region(NVM_KV_SLOT_TBL), tbl);
        EXPECT_EQ(region(NVM_KV_LIGHT_DATA), lit);
        EXPECT_EQ(region(NVM_KV_SCENE_DATA), scene);
        uint8_t mid[3] = {};
        nvm_read(NVM_KV_SLOT_TBL, 251, mid, 3);
        EXPECT_EQ(mid[0], 0xFF);
        EXPECT_EQ(mid[1], 0x55);
        nvm_read(NVM_KV_LIGHT_DATA, 6, mid, 3);
        EXPECT_EQ(mid[0], 0x46);
        EXPECT_EQ(mid[1], 0xA1);
        nvm_init();
    }
    // The scene region lies where the key table puts it.
    const uint8_t *img = flash_host_image();
    EXPECT_EQ(img[NVM_KV_SCENE_DATA_ADDR - FLASH_DATA_BASE_ADDR + 1000], 0xF0);
}

TEST_F(Nvm, WritesLayOutTheDocumentedEntries) {
    const uint8_t rec[7] = {0xC6, 0xAA, 0x01, 0x46, 0x00, 0x1E, 0x00};
    ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 0, rec, 7), 7);
    std::vector<uint8_t> want = {2, 1, 0, 0, 0xC6, 0xAA, 0x01, 0x46, 0x00, 0x1E, 0x00};
    want.resize(small_entry, 0xFF);
    std::vector<uint8_t> checked(want.begin(), want.begin() + 3); // all but the check
    checked.insert(checked.end(), want.begin() + 4, want.end());
    want[3] = crc8(checked.data(), checked.size());
    EXPECT_EQ(std::vector<uint8_t>(ring_at(0, 0), ring_at(0, small_entry)), want);
    // Each key's next version follows in the same sector, one sequence number on.
    std::vector<uint8_t> r(want.begin() + 4, want.end());
    r[3] = 0x47;
    ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 3, &r[3], 1), 1);
    put(NVM_KV_SLOT_TBL, 255, {0x12});
    std::vector<uint8_t> tbl(256, 0xFF);
    tbl[255] = 0x12;
    const auto e2 = entry(NVM_KV_LIGHT_DATA, 2, r), e3 = entry(NVM_KV_SLOT_TBL, 3, tbl);
    EXPECT_EQ(std::vector<uint8_t>(ring_at(0, 36), ring_at(0, 72)), e2);
    EXPECT_EQ(std::vector<uint8_t>(ring_at(0, 72), ring_at(0, 72 + 260)), e3);
    // Nothing else of the data area is programmed.
    uint8_t *img = flash_host_image();
    EXPECT_TRUE(std::all_of(img, ring_at(0, 0), [](uint8_t x) { return x == 0xFF; }));
    EXPECT_TRUE(std::all_of(ring_at(0, 72 + 260), img + FLASH_DATA_SIZE,
                            [](uint8_t x) { return x == 0xFF; }));
}

// Hand-built journals in the documented layout: the newest complete entry in
// serial order wins wherever it lies, a torn one is never returned, a hand-over
// cut short leaves the sector before it the head, and the next entry goes
// after the last used space of the head.
TEST_F(Nvm, StartUpFindsTheHeadAndTheNewestCompleteEntries) {
    // A region whose entry check comes out as 0xFF, so it is stored as 0.
    std::vector<uint8_t> ff_check = light(0x00);
    while (true) {
        std::vector<uint8_t> c{2, 9, 0};
        c.insert(c.end(), ff_check.begin(), ff_check.end());
        if (crc8(c.data(), c.size()) == 0xFF) {
            break;
        }
        ++ff_check[0];
    }
    struct placed {
        uint32_t r, offset;
        nvm_kv_t key;
        uint16_t seq;
        std::vector<uint8_t> region;
        int torn_at; // -1: complete; else bytes programmed, in the store's order
    };
    struct image_case {
        const char *name;
        std::vector<placed> entries;
        std::vector<uint8_t> light, mgr;
        uint32_t next_r, next_offset; // where the next light entry goes
    };
    const auto L = NVM_KV_LIGHT_DATA, M = NVM_KV_SLOT_MGR;
    const std::vector<uint8_t> none = light(0xFF);
    const image_case cases[] = {
        {"newer in the next sector",
         {{0, 0, L, 5, light(0x11), -1}, {1, 0, L, 6, light(0x22), -1}},
         light(0x22),
         none,
         1,
         36},
        {"newer in the first sector",
         {{1, 0, L, 5, light(0x11), -1}, {0, 0, L, 6, light(0x22), -1}},
         light(0x22),
         none,
         0,
         36},
        {"across the 16-bit wrap",
         {{2, 0, L, 0xFFFE, light(0x11), -1},
          {2, 36, L, 0xFFFF, light(0x22), -1},
          {0, 0, L, 0x0000, light(0x33), -1}},
         light(0x33),
         none,
         0,
         36},
        {"newest torn before its check",
         {{0, 0, L, 7, light(0x11), -1}, {0, 36, L, 8, light(0x22), 35}},
         light(0x11),
         none,
         0,
         72},
        {"newest torn in its region",
         {{0, 0, L, 7, light(0x11), -1}, {0, 36, L, 8, light(0x22), 20}},
         light(0x11),
         none,
         0,
         72},
        {"newest torn after its key",
         {{0, 0, L, 7, light(0x11), -1}, {0, 36, L, 0x1234, light(0x22), 1}},
         light(0x11),
         none,
         0,
         72},
        {"only torn entries", {{0, 0, L, 1, light(0x22), 35}}, none, none, 0, 36},
        {"check stored as 0", {{1, 0, L, 9, ff_check, -1}}, ff_check, none, 1, 36},
        {"hand-over cut short",
         {{1, 0, L, 5, light(0x11), -1},
          {1, 36, M, 6, light(0x44), -1},
          {2, 0, M, 7, light(0x44), -1}},
         light(0x11),
         light(0x44),
         1,
         72},
        {"hand-over done",
         {{1, 0, L, 5, light(0x11), -1},
          {1, 36, M, 6, light(0x44), -1},
          {2, 0, M, 7, light(0x44), -1},
          {2, 36, L, 8, light(0x55), -1}},
         light(0x55),
         light(0x44),
         2,
         72},
        {"no key byte ends the sector",
         {{0, 0, L, 5, light(0x11), -1}, {0, 36, 7, 6, light(0x22), -1}},
         light(0x11),
         none,
         1,
         0},
    };
    for (const image_case &c : cases) {
        flash_host_erase_all();
        for (const placed &p : c.entries) {
            std::vector<uint8_t> e = entry(p.key, p.seq, p.region);
            if (p.torn_at >= 0) {
                // Key and sequence number, then the region, then the check.
                std::vector<uint8_t> torn(e.size(), 0xFF);
                for (int i = 0; i < p.torn_at; ++i) {
                    const size_t at = i < 3 ? size_t(i) : i + 1 < int(e.size()) ? i + 1 : 3;
                    torn[at] = e[at];
                }
                e = torn;
            }
            std::copy(e.begin(), e.end(), ring_at(p.r, p.offset));
        }
        nvm_init();
        EXPECT_EQ(region(NVM_KV_LIGHT_DATA), c.light) << c.name;
        EXPECT_EQ(region(NVM_KV_SLOT_MGR), c.mgr) << c.name;
        const uint8_t v = 0x77;
        ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 31, &v, 1), 1) << c.name;
        EXPECT_EQ(ring_at(c.next_r, c.next_offset)[4 + 31], 0x77) << c.name;
        nvm_init();
        EXPECT_EQ(region(NVM_KV_LIGHT_DATA)[31], 0x77) << c.name;
        EXPECT_EQ(region(NVM_KV_SLOT_MGR), c.mgr) << c.name;
    }
}

TEST_F(Nvm, FailedWritesReturnLessAndKeepTheOldValue) {
    const auto old = bytes(7, 1);
    put(NVM_KV_LIGHT_DATA, 0, old);
    const auto fresh = bytes(7, 0x70);
    flash_host_refuse_writes(true);
    EXPECT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 0, fresh.data(), 7), 0);
    EXPECT_EQ(nvm_write(NVM_KV_SCENE_DATA, 0, fresh.data(), 7), 0);
    flash_host_refuse_writes(false);
    // Each of the four programs of an entry cut halfway; the store goes on.
    for (uint32_t n = 1; n <= 4; ++n) {
        flash_host_cut_at(n);
        EXPECT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 0, fresh.data(), 7), 0) << n;
        flash_host_cut_at(0);
        EXPECT_EQ(region(NVM_KV_LIGHT_DATA)[0], 1) << n;
    }
    nvm_init();
    std::vector<uint8_t> expect(32, 0xFF);
    std::copy(old.begin(), old.end(), expect.begin());
    EXPECT_EQ(region(NVM_KV_LIGHT_DATA), expect);
    put(NVM_KV_LIGHT_DATA, 0, fresh);
    nvm_init();
    EXPECT_EQ(region(NVM_KV_LIGHT_DATA)[6], 0x76);
}

TEST_F(Nvm, HundredThousandLightSavesSpreadTheErases) {
    constexpr uint32_t saves = 100000;
    put(NVM_KV_SLOT_MGR, 0, bytes(32, 0x20));
    put(NVM_KV_SLOT_TBL, 0, bytes(256, 0x30));
    uint32_t before[FLASH_DATA_SECTOR_COUNT];
    for (uint32_t s = 0; s < FLASH_DATA_SECTOR_COUNT; ++s) {
        before[s] = flash_host_erase_count(s);
    }
    uint8_t rec[7] = {};
    for (uint32_t i = 0; i < saves; ++i) {
        for (uint8_t b = 0; b < 7; ++b) {
            rec[b] = static_cast<uint8_t>((i >> (b % 4 * 8)) + b);
        }
        ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 0, rec, 7), 7) << i;
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
    std::printf("[ wear     ] %u light saves: %u erases in all (one per %.1f saves), "
                "most-erased sector %u (one per %.1f saves)\n",
                saves, total, double(saves) / total, most, double(saves) / most);
    EXPECT_LE(most * 50, saves);
    nvm_init();
    std::vector<uint8_t> expect(32, 0xFF);
    std::copy(rec, rec + 7, expect.begin());
    EXPECT_EQ(region(NVM_KV_LIGHT_DATA), expect);
    EXPECT_EQ(region(NVM_KV_SLOT_TBL), bytes(256, 0x30));
    EXPECT_EQ(region(NVM_KV_SLOT_MGR), bytes(32, 0x20));
}
