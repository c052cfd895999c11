// The store on its own: refusals, read-back and merging, the documented flash
// layout, failed writes, the scene region, and flash wear.
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
    void TearDown() override { EXPECT_EQ(flash_host_nor_violations(), 0u); }
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
};

} // namespace

TEST(NvmCrc, CheckValueOfTheTestSideCrc) {
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc16(check, sizeof check), 0x29B1);
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
    // Each step and the whole region expected after it, worked out by hand.
    std::vector<uint8_t> tbl(256, 0xFF), light(32, 0xFF);
    put(NVM_KV_SLOT_TBL, 100, bytes(20, 0x80));
    std::copy_n(bytes(20, 0x80).begin(), 20, tbl.begin() + 100);
    put(NVM_KV_SLOT_TBL, 0, bytes(256, 0, 3));
    tbl = bytes(256, 0, 3);
    put(NVM_KV_SLOT_TBL, 250, {0x00, 0xFF, 0x55});
    tbl[250] = 0x00;
    tbl[251] = 0xFF;
    tbl[252] = 0x55;
    put(NVM_KV_LIGHT_DATA, 7, {0xA1, 0xA2});
    light[7] = 0xA1;
    light[8] = 0xA2;
    put(NVM_KV_LIGHT_DATA, 0, bytes(7, 0x40));
    std::copy_n(bytes(7, 0x40).begin(), 7, light.begin());
    put(NVM_KV_LIGHT_DATA, 3, {0xFF}); // a bit may rise: it is a new version
    light[3] = 0xFF;
    for (int restart = 0; restart < 2; ++restart) {
        EXPECT_EQ(region(NVM_KV_SLOT_TBL), tbl);
        EXPECT_EQ(region(NVM_KV_LIGHT_DATA), light);
        EXPECT_EQ(region(NVM_KV_SLOT_MGR), std::vector<uint8_t>(32, 0xFF));
        uint8_t mid[4] = {};
        nvm_read(NVM_KV_SLOT_TBL, 251, mid, 4);
        EXPECT_EQ(mid[0], 0xFF);
        EXPECT_EQ(mid[1], 0x55);
        EXPECT_EQ(mid[3], tbl[254]);
        nvm_init();
    }
}

TEST_F(Nvm, FirstWriteLaysOutTheDocumentedBytes) {
    const uint8_t rec[7] = {0xC6, 0xAA, 0x01, 0x46, 0x00, 0x1E, 0x00};
    ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 0, rec, 7), 7);
    const uint8_t *img = flash_host_image();
    // Sector header: sequence 1, magic 0x4A52, CRC of the six bytes.
    const uint8_t head[6] = {1, 0, 0, 0, 0x52, 0x4A};
    EXPECT_EQ(std::vector<uint8_t>(img, img + 6), std::vector<uint8_t>(head, head + 6));
    EXPECT_EQ(img[6] | img[7] << 8, crc16(head, 6));
    // Entry: sequence 1, key 2 and its complement, length 7, the two CRCs.
    const uint8_t *e = img + 8;
    const uint8_t fields[8] = {1, 0, 0, 0, 2, 0xFD, 7, 0};
    EXPECT_EQ(std::vector<uint8_t>(e, e + 8), std::vector<uint8_t>(fields, fields + 8));
    EXPECT_EQ(e[8] | e[9] << 8, crc16(e, 8));
    EXPECT_EQ(e[10] | e[11] << 8, crc16(rec, 7, crc16(e, 10)));
    EXPECT_EQ(std::vector<uint8_t>(e + 12, e + 19), std::vector<uint8_t>(rec, rec + 7));
    EXPECT_EQ(e[19], 0xFF); // padding
    EXPECT_TRUE(std::all_of(e + 20, img + FLASH_DATA_SIZE, [](uint8_t b) { return b == 0xFF; }));
}

// Hand-built images in the documented layout: the newest complete entry wins,
// whatever sector it lies in; one whose CRC fails is never returned.
TEST_F(Nvm, StartUpPicksTheNewestCompleteEntry) {
    uint8_t *img = flash_host_image();
    auto sector_header = [&](uint32_t ring_pos, uint32_t seq) {
        uint8_t *s = img + ring[ring_pos] * sector;
        const uint8_t h[6] = {static_cast<uint8_t>(seq), 0, 0, 0, 0x52, 0x4A};
        std::memcpy(s, h, 6);
        s[6] = static_cast<uint8_t>(crc16(h, 6));
        s[7] = static_cast<uint8_t>(crc16(h, 6) >> 8);
    };
    auto entry = [&](uint32_t ring_pos, uint32_t offset, uint8_t seq, uint8_t value, bool good) {
        uint8_t *e = img + ring[ring_pos] * sector + offset;
        const uint8_t f[8] = {seq, 0, 0, 0, NVM_KV_LIGHT_DATA, 0xFD, 2, 0};
        std::memcpy(e, f, 8);
        e[8] = static_cast<uint8_t>(crc16(e, 8));
        e[9] = static_cast<uint8_t>(crc16(e, 8) >> 8);
        e[12] = value;
        e[13] = value;
        const uint16_t crc = static_cast<uint16_t>(crc16(e + 12, 2, crc16(e, 10)) ^ (good ? 0 : 1));
        e[10] = static_cast<uint8_t>(crc);
        e[11] = static_cast<uint8_t>(crc >> 8);
    };
    sector_header(2, 7);
    entry(2, 8, 40, 0x11, true);
    entry(2, 24, 41, 0x22, true);
    sector_header(1, 6);
    entry(1, 8, 42, 0x33, true);   // newest, in the older sector
    entry(1, 24, 43, 0x44, false); // newer still, but its CRC fails
    nvm_init();
    uint8_t got[3] = {};
    nvm_read(NVM_KV_LIGHT_DATA, 0, got, 3);
    EXPECT_EQ(got[0], 0x33);
    EXPECT_EQ(got[1], 0x33);
    EXPECT_EQ(got[2], 0xFF);
    // The next write goes to the head (sequence 7) after its last entry.
    const uint8_t v[2] = {0x55, 0x66};
    ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 0, v, 2), 2);
    EXPECT_EQ(img[ring[2] * sector + 40 + 12], 0x55);
    EXPECT_EQ(img[ring[2] * sector + 40 + 4], NVM_KV_LIGHT_DATA);
}

TEST_F(Nvm, FailedWritesReturnLessAndKeepTheOldValue) {
    const auto old = bytes(7, 1);
    put(NVM_KV_LIGHT_DATA, 0, old);
    const auto fresh = bytes(7, 0x70);
    flash_host_refuse_writes(true);
    EXPECT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 0, fresh.data(), 7), 0);
    EXPECT_EQ(nvm_write(NVM_KV_SCENE_DATA, 0, fresh.data(), 7), 0);
    flash_host_refuse_writes(false);
    // Each of the three programs of an entry cut halfway.
    for (uint32_t n = 1; n <= 3; ++n) {
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

TEST_F(Nvm, SceneWritesKeepTheRestOfTheRegion) {
    std::vector<uint8_t> scene(2048, 0xFF);
    const auto a = bytes(2048, 3, 7);
    put(NVM_KV_SCENE_DATA, 0, a);
    scene = a;
    put(NVM_KV_LIGHT_DATA, 0, bytes(7, 1));
    // Straddles the two scene sectors and raises bits: both are rewritten.
    const auto b = bytes(40, 0xF0);
    put(NVM_KV_SCENE_DATA, 1000, b);
    std::copy(b.begin(), b.end(), scene.begin() + 1000);
    const uint8_t zero = 0;
    put(NVM_KV_SCENE_DATA, 5, {zero}); // clears bits only: in place
    scene[5] = 0;
    nvm_init();
    EXPECT_EQ(region(NVM_KV_SCENE_DATA), scene);
    EXPECT_EQ(region(NVM_KV_LIGHT_DATA)[6], 7);
    // The scene region lies where the key table puts it.
    EXPECT_EQ(flash_host_image()[NVM_KV_SCENE_DATA_ADDR - FLASH_DATA_BASE_ADDR + 1000], 0xF0);
}

TEST_F(Nvm, HundredThousandLightSavesSpreadTheErases) {
    constexpr uint32_t saves = 100000;
    put(NVM_KV_SLOT_MGR, 0, bytes(32, 0x20));
    put(NVM_KV_SLOT_TBL, 0, bytes(256, 0x30));
    uint8_t rec[7] = {};
    for (uint32_t i = 0; i < saves; ++i) {
        for (uint8_t b = 0; b < 7; ++b) {
            rec[b] = static_cast<uint8_t>((i >> (b % 4 * 8)) + b);
        }
        ASSERT_EQ(nvm_write(NVM_KV_LIGHT_DATA, 0, rec, 7), 7) << i;
    }
    uint32_t most = 0, total = 0;
    for (uint32_t s = 0; s < FLASH_DATA_SECTOR_COUNT; ++s) {
        most = std::max(most, flash_host_erase_count(s));
        total += flash_host_erase_count(s);
    }
    std::printf("[ wear     ] %u light saves: %u erases in all (one per %.1f saves), "
                "most-erased sector %u (one per %.1f saves)\n",
                saves, total, double(saves) / total, most, double(saves) / most);
    EXPECT_LE(most * 50, saves);
    EXPECT_EQ(flash_host_erase_count(2) + flash_host_erase_count(3), 0u);
    nvm_init();
    std::vector<uint8_t> expect(32, 0xFF);
    std::copy(rec, rec + 7, expect.begin());
    EXPECT_EQ(region(NVM_KV_LIGHT_DATA), expect);
    EXPECT_EQ(region(NVM_KV_SLOT_TBL), bytes(256, 0x30));
    EXPECT_EQ(region(NVM_KV_SLOT_MGR), bytes(32, 0x20));
}
