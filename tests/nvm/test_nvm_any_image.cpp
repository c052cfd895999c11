// Whatever the flash holds at start-up, the store works: random images,
// erased images with stray bytes (the jam case among them), images of one
// repeated byte (all zeros among them), and single-bit flips of a used image.
// For each: start-up finds nothing that is not a value some key was given; ten
// light record saves of new values all succeed, each one restored after a
// power cycle (so once a save succeeded the defaults never come back); the
// other regions stay as start-up found them. All images are drawn from fixed
// seeds.
#include "light_record.h"
#include "nvm_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

using namespace nvm_layout;

namespace {

uint32_t rng_state = 1;
uint32_t rng() {
    rng_state ^= rng_state << 13;
    rng_state ^= rng_state >> 17;
    rng_state ^= rng_state << 5;
    return rng_state;
}

class NvmAnyImage : public ::testing::Test {
  protected:
    void SetUp() override { flash_host_erase_all(); }
    void TearDown() override { EXPECT_EQ(flash_host_nor_violations(), 0u); }

    // Start-up on the image in the flash, then ten saves. `seen[key]` lists
    // every value a journaled key may show at start-up (its erased region
    // always may). An image without a valid journal sector (`unformatted`)
    // must have had the ring's first sector erased by the first save: past its
    // header and first entry nothing but the saves' entries is programmed.
    // Returns false after the first failure.
    static bool take_ten_saves(const std::string &name, uint32_t salt, bool unformatted,
                               const std::vector<regions_t> &seen = {}) {
        nvm_init();
        const regions_t found = regions();
        for (nvm_kv_t key = 0; key < NVM_KV_SCENE_DATA; ++key) {
            bool known = found[key] == std::vector<uint8_t>(region_size[key], 0xFF);
            for (const regions_t &r : seen) {
                known = known || found[key] == r[key];
            }
            EXPECT_TRUE(known) << name << ": key " << int(key) << " reads garbage";
        }
        for (uint16_t k = 0; k < 10 && !HasFailure(); ++k) {
            const light_record::values v{static_cast<uint16_t>(1 + (salt + 37u * k) % 100),
                                         static_cast<uint16_t>((salt * 7u + k) % 101)};
            EXPECT_TRUE(light_record::save(true, v.bright, v.temper)) << name << " save " << k;
            EXPECT_EQ(light_record::restored(), v) << name << " save " << k;
            if (k % 2 == 1) {
                nvm_init(); // power cycle
                EXPECT_EQ(light_record::restored(), v) << name << " save " << k << ", restarted";
            }
            regions_t now = regions();
            std::copy_n(found[NVM_KV_LIGHT_DATA].begin(), 7, now[NVM_KV_LIGHT_DATA].begin());
            EXPECT_EQ(now, found) << name << ": a region other than the record changed";
        }
        const uint8_t *s = ring_at(0, 0);
        EXPECT_TRUE(!unformatted || std::all_of(s + 9, s + header_size, [](uint8_t b) {
            return b == 0xFF;
        })) << name;
        for (uint32_t i = 0; unformatted && i < slots; ++i) {
            const uint8_t *e = slot(0, i);
            const bool empty = std::all_of(e, e + slot_size, [](uint8_t b) { return b == 0xFF; });
            EXPECT_TRUE(e[0] == NVM_KV_LIGHT_DATA || empty) << name << ": slot " << i;
        }
        EXPECT_EQ(flash_host_nor_violations(), 0u) << name << ": programmed over written bits";
        return !HasFailure();
    }
};

} // namespace

TEST_F(NvmAnyImage, RandomImages) {
    rng_state = 12345;
    for (uint32_t n = 0; n < 600; ++n) {
        std::generate_n(flash_host_image(), FLASH_DATA_SIZE, [] { return uint8_t(rng()); });
        ASSERT_TRUE(take_ten_saves("random image " + std::to_string(n), n, true));
    }
}

TEST_F(NvmAnyImage, ErasedImagesWithStrayBytes) {
    // The jam case first: byte 1025 cleared, in the ring's first sector.
    flash_host_image()[1025] = 0x00;
    ASSERT_TRUE(take_ten_saves("erased, byte 1025 = 0x00", 1, false));
    // One cleared byte at each of the first 80 bytes of each ring sector
    // (its header and first entries), then 1..8 stray bytes anywhere.
    for (uint32_t r = 0; r < 3; ++r) {
        for (uint32_t i = 0; i < header_size + 2 * slot_size; ++i) {
            flash_host_erase_all();
            *ring_at(r, i) = 0x00;
            const std::string name = "stray 0x00 at " + std::to_string(ring[r] * sector + i);
            ASSERT_TRUE(take_ten_saves(name, i, false));
        }
    }
    rng_state = 777;
    for (uint32_t n = 0; n < 1500; ++n) {
        flash_host_erase_all();
        std::string name = "stray bytes";
        for (uint32_t k = 0, count = 1 + rng() % 8; k < count; ++k) {
            const uint32_t at = rng() % FLASH_DATA_SIZE;
            flash_host_image()[at] = static_cast<uint8_t>(rng());
            name += " " + std::to_string(at) + "=" + std::to_string(flash_host_image()[at]);
        }
        ASSERT_TRUE(take_ten_saves(name, n, false));
    }
}

TEST_F(NvmAnyImage, ImagesOfOneRepeatedByte) {
    for (uint32_t v = 0; v < 256; ++v) {
        std::memset(flash_host_image(), static_cast<int>(v), FLASH_DATA_SIZE);
        ASSERT_TRUE(take_ten_saves("every byte " + std::to_string(v), v, true));
    }
}

// A used image: every key written, the ring gone round so that every sector
// holds a generation, the head part full. Each single-bit flip of it still
// starts with values the keys had, and takes the saves.
TEST_F(NvmAnyImage, SingleBitFlipsOfAUsedImage) {
    nvm_init();
    std::vector<regions_t> history{regions()};
    rng_state = 4242;
    for (uint32_t n = 0; n < 80; ++n) {
        const std::vector<uint8_t> v(6, static_cast<uint8_t>(n));
        const nvm_kv_t key = n % 10 == 0   ? NVM_KV_SLOT_TBL
                             : n % 10 == 5 ? NVM_KV_SLOT_MGR
                                           : NVM_KV_LIGHT_DATA;
        if (key == NVM_KV_LIGHT_DATA) {
            ASSERT_TRUE(light_record::save(true, static_cast<uint16_t>(n), 50));
        } else {
            const uint16_t offset = static_cast<uint16_t>(rng() % (region_size[key] - 6));
            ASSERT_EQ(nvm_write(key, offset, v.data(), 6), 6);
        }
        history.push_back(regions());
    }
    const std::vector<uint8_t> used = snapshot();
    for (uint32_t r = 0; r < 3; ++r) {
        ASSERT_TRUE(std::equal(magic, magic + 4, ring_at(r, 0))) << "the ring has not gone round";
    }
    // Every bit of the three sector headers, a seeded sample of the three
    // sectors' slots, and of the whole area.
    std::vector<uint32_t> bits;
    for (uint32_t r = 0; r < 3; ++r) {
        for (uint32_t b = 0; b < 7 * 8; ++b) {
            bits.push_back(ring[r] * sector * 8 + b);
        }
        for (uint32_t n = 0; n < 600; ++n) {
            bits.push_back((ring[r] * sector + header_size) * 8 +
                           rng() % ((sector - header_size) * 8));
        }
    }
    for (uint32_t n = 0; n < 600; ++n) {
        bits.push_back(rng() % (FLASH_DATA_SIZE * 8));
    }
    for (uint32_t bit : bits) {
        restore(used);
        flash_host_image()[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        const std::string name =
            "bit " + std::to_string(bit % 8) + " of byte " + std::to_string(bit / 8) + " flipped";
        ASSERT_TRUE(take_ten_saves(name, bit, false, history));
    }
    std::printf("[ flips    ] %zu single-bit flips of a used image\n", bits.size());
}
