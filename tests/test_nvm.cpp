// The store on its own: refusals, read-back and merging, the documented
// journal layout, start-up from hand-built images, failed writes, the plain
// regions, and flash wear.
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
    // The plain regions lie where the key table puts them.
    const uint8_t *img = flash_host_image();
    EXPECT_EQ(img[NVM_KV_SLOT_TBL_ADDR - FLASH_DATA_BASE_ADDR + 100], 0x80);
    EXPECT_EQ(img[NVM_KV_SCENE_DATA_ADDR - FLASH_DATA_BASE_ADDR + 1000], 0xF0);
}

TEST_F(Nvm, LightWritesLayOutTheDocumentedEntries) {
    const uint8_t rec[7] = {0xC6, 0xAA, 0x01, 0x46, 0x00, 0x1E, 0x00};
    ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 0, rec, 7), 7);
    std::vector<uint8_t> r = light(0xFF);
    std::copy(rec, rec + 7, r.begin());
    const uint8_t first[36] = {1,    0,    0xC6, 0xAA, 0x01, 0x46, 0x00, 0x1E, 0x00,
                               0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                               0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                               0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF};
    std::vector<uint8_t> want(first, first + 36);
    want[34] = crc8(first, 34);
    EXPECT_EQ(std::vector<uint8_t>(slot_at(0, 0), slot_at(0, 1)), want);
    // The next version goes to the next slot, sequence 2.
    const uint8_t b = 0x47;
    ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 3, &b, 1), 1);
    r[3] = 0x47;
    EXPECT_EQ(std::vector<uint8_t>(slot_at(0, 1), slot_at(0, 2)), entry(2, r));
    // Nothing else of the data area is programmed.
    const uint8_t *img = flash_host_image();
    const size_t used = journal[0] * sector + 2 * slot;
    EXPECT_TRUE(std::all_of(img, img + journal[0] * sector, [](uint8_t x) { return x == 0xFF; }));
    EXPECT_TRUE(
        std::all_of(img + used, img + FLASH_DATA_SIZE, [](uint8_t x) { return x == 0xFF; }));
}

// Hand-built journals in the documented layout: the newest complete entry in
// serial order wins wherever it lies, an incomplete one is never returned, and
// the next entry goes after the last used slot of the winner's sector.
TEST_F(Nvm, StartUpPicksTheNewestCompleteEntry) {
    // A region whose entry check comes out as 0xFF, so it is stored as 0.
    std::vector<uint8_t> ff_check = light(0x00);
    while (crc8(std::vector<uint8_t>(entry(9, ff_check)).data(), 34) != 0xFF) {
        ++ff_check[0];
    }
    struct placed {
        uint32_t side, k;
        uint16_t seq;
        std::vector<uint8_t> region;
        int torn_at; // -1: complete; else bytes of the entry programmed
    };
    struct image_case {
        const char *name;
        std::vector<placed> entries;
        std::vector<uint8_t> expect;
        uint32_t next_side, next_k;
    };
    const image_case cases[] = {
        {"newer in the partner",
         {{0, 0, 5, light(0x11), -1}, {1, 0, 6, light(0x22), -1}},
         light(0x22),
         1,
         1},
        {"newer in the first slot",
         {{1, 0, 5, light(0x11), -1}, {0, 0, 6, light(0x22), -1}},
         light(0x22),
         0,
         1},
        {"across the 15-bit wrap",
         {{0, 0, 0x7FFE, light(0x11), -1},
          {0, 1, 0x7FFF, light(0x22), -1},
          {1, 0, 0x0000, light(0x33), -1}},
         light(0x33),
         1,
         1},
        {"newest torn before its check",
         {{0, 0, 7, light(0x11), -1}, {0, 1, 8, light(0x22), 34}},
         light(0x11),
         0,
         2},
        {"newest torn in its region",
         {{0, 0, 7, light(0x11), -1}, {0, 1, 8, light(0x22), 20}},
         light(0x11),
         0,
         2},
        {"newest torn in its sequence number",
         {{0, 0, 7, light(0x11), -1}, {0, 1, 0x1234, light(0x22), 1}},
         light(0x11),
         0,
         2},
        {"only torn entries", {{0, 0, 1, light(0x22), 34}}, light(0xFF), 0, 1},
        {"check stored as 0", {{0, 3, 9, ff_check, -1}}, ff_check, 0, 4},
    };
    for (const image_case &c : cases) {
        flash_host_erase_all();
        for (const placed &p : c.entries) {
            std::vector<uint8_t> e = entry(p.seq, p.region);
            if (p.torn_at >= 0) {
                std::fill(e.begin() + p.torn_at, e.end(), 0xFF);
            }
            std::copy(e.begin(), e.end(), slot_at(p.side, p.k));
        }
        nvm_init();
        EXPECT_EQ(region(NVM_KV_LIGHT_DATA), c.expect) << c.name;
        const uint8_t v = 0x77;
        ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 31, &v, 1), 1) << c.name;
        EXPECT_EQ(slot_at(c.next_side, c.next_k)[33], 0x77) << c.name;
    }
    EXPECT_EQ(entry(9, ff_check)[34], 0);
}

TEST_F(Nvm, FailedWritesReturnLessAndKeepTheOldValue) {
    const auto old = bytes(7, 1);
    put(NVM_KV_LIGHT_DATA, 0, old);
    const auto fresh = bytes(7, 0x70);
    flash_host_refuse_writes(true);
    EXPECT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 0, fresh.data(), 7), 0);
    EXPECT_EQ(nvm_write(NVM_KV_SCENE_DATA, 0, fresh.data(), 7), 0);
    flash_host_refuse_writes(false);
    // Each of the two programs of an entry cut halfway; the store goes on.
    for (uint32_t n = 1; n <= 2; ++n) {
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
        if (s != journal[0] && s != journal[1]) {
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
