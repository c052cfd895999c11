#include "flash_host.h"

#include "../flash.h"

#include <cstdio>
#include <cstring>

namespace {

uint8_t image[FLASH_DATA_SIZE];
uint32_t erase_counts[FLASH_DATA_SECTOR_COUNT];
uint8_t word_programs[FLASH_DATA_SIZE / 4]; // since the word's last erase
uint32_t most_word_programs = 0;
uint32_t operations = 0;
uint32_t violations = 0;
uint32_t cut_countdown = 0;
uint32_t cut_bytes = 0; // bytes the cut operation keeps
bool cut_kills_power = false;
bool cut_scrambles = false;
uint32_t cut_raises_one_in = 0; // an erase cut that only raises bits, 1 in this many
uint32_t noise = 0;             // xorshift state of a scrambled cut
uint32_t worn_from = 0, worn_len = 0;
bool power_lost = false;
bool refusing = false;
flash_host_op_fn listener = nullptr;
void *listener_ctx = nullptr;
bool initialised = false;

void ensure_initialised() {
    if (!initialised) {
        flash_host_erase_all();
    }
}

bool in_range(uint32_t offset, uint32_t len) {
    return offset <= FLASH_DATA_SIZE && len <= FLASH_DATA_SIZE - offset;
}

uint32_t next_noise() {
    noise ^= noise << 13;
    noise ^= noise >> 17;
    noise ^= noise << 5;
    return noise;
}

// Counts the operation and reports whether a cut falls on it; sets how many
// bytes of it survive (`len` when it is not cut).
bool count_and_check_cut(char kind, uint32_t offset, uint32_t len, uint32_t *kept) {
    ++operations;
    if (listener != nullptr) {
        listener(listener_ctx, kind, offset, len);
    }
    *kept = len;
    if (cut_countdown == 0 || --cut_countdown != 0) {
        return false;
    }
    if (cut_scrambles) {
        *kept = next_noise() % (len + 1);
        power_lost = true;
    } else if (cut_kills_power) {
        *kept = cut_bytes < len ? cut_bytes : len;
        power_lost = true;
    } else {
        *kept = len / 2;
    }
    return true;
}

} // namespace

extern "C" {

void flash_host_erase_all(void) {
    std::memset(image, 0xFF, sizeof image);
    std::memset(erase_counts, 0, sizeof erase_counts);
    std::memset(word_programs, 0, sizeof word_programs);
    most_word_programs = 0;
    operations = 0;
    violations = 0;
    cut_countdown = 0;
    cut_kills_power = false;
    cut_scrambles = false;
    cut_raises_one_in = 0;
    power_lost = false;
    refusing = false;
    worn_len = 0;
    initialised = true;
}

uint8_t flash_host_load(const char *path) {
    ensure_initialised();
    std::FILE *f = std::fopen(path, "rb");
    if (f == nullptr) {
        return 0;
    }
    const size_t got = std::fread(image, 1, sizeof image, f);
    (void)std::fclose(f); // read only: its close loses nothing
    return got == sizeof image ? 0 : 1;
}

uint8_t flash_host_save(const char *path) {
    ensure_initialised();
    std::FILE *f = std::fopen(path, "wb");
    if (f == nullptr) {
        return 1;
    }
    const size_t put = std::fwrite(image, 1, sizeof image, f);
    return (std::fclose(f) == 0 && put == sizeof image) ? 0 : 1;
}

uint8_t *flash_host_image(void) {
    ensure_initialised();
    return image;
}

void flash_host_refuse_writes(bool refuse) {
    refusing = refuse;
}
void flash_host_wear_out(uint32_t offset, uint32_t len) {
    worn_from = offset;
    worn_len = len;
}
void flash_host_cut_at(uint32_t n) {
    cut_countdown = n;
    cut_kills_power = false;
    cut_scrambles = false;
    cut_raises_one_in = 0;
}
void flash_host_power_cut_at(uint32_t n, uint32_t bytes) {
    flash_host_cut_at(n);
    cut_bytes = bytes;
    cut_kills_power = n != 0;
}
void flash_host_power_cut_scrambled(uint32_t n, uint32_t seed) {
    flash_host_cut_at(n);
    cut_kills_power = n != 0;
    cut_scrambles = n != 0;
    noise = seed != 0 ? seed : 0x9E3779B9u;
}
void flash_host_power_cut_raising(uint32_t n, uint32_t seed, uint32_t one_in) {
    flash_host_power_cut_scrambled(n, seed);
    cut_raises_one_in = n != 0 && one_in != 0 ? one_in : 0;
}
void flash_host_power_restore(void) {
    power_lost = false;
    flash_host_cut_at(0);
}
void flash_host_set_op_listener(flash_host_op_fn fn, void *ctx) {
    listener = fn;
    listener_ctx = ctx;
}
uint32_t flash_host_operations(void) {
    return operations;
}
uint32_t flash_host_erase_count(uint32_t sector_index) {
    return sector_index < FLASH_DATA_SECTOR_COUNT ? erase_counts[sector_index] : 0;
}
uint32_t flash_host_nor_violations(void) {
    return violations;
}
uint32_t flash_host_most_word_programs(void) {
    return most_word_programs;
}

void flash_read(uint32_t offset, void *buf, uint32_t len) {
    ensure_initialised();
    auto *out = static_cast<uint8_t *>(buf);
    // Offsets past the area read 0xFF (offset + len may wrap: len is not).
    const uint32_t inside = offset < FLASH_DATA_SIZE ? FLASH_DATA_SIZE - offset : 0;
    const uint32_t n = len < inside ? len : inside;
    if (n != 0) {
        std::memcpy(out, image + offset, n);
    }
    std::memset(out + n, 0xFF, len - n);
}

uint8_t flash_program(uint32_t offset, const void *buf, uint32_t len) {
    ensure_initialised();
    if (power_lost) {
        return 1;
    }
    uint32_t kept = 0;
    const bool cut = count_and_check_cut('P', offset, len, &kept);
    if (refusing || !in_range(offset, len) || buf == nullptr) {
        return 1;
    }
    const auto *in = static_cast<const uint8_t *>(buf);
    uint8_t *dst = image + offset;
    for (uint32_t i = 0; i < len; ++i) {
        if ((in[i] & ~dst[i]) != 0) {
            ++violations; // NOR cannot raise a bit without an erase
            return 1;
        }
    }
    bool worn = false;
    for (uint32_t i = 0; i < kept; ++i) {
        if (offset + i - worn_from < worn_len) {
            worn = worn || dst[i] != in[i]; // stays as it was: reads back wrong
            continue;
        }
        dst[i] = static_cast<uint8_t>(dst[i] & in[i]);
    }
    if (cut_scrambles && cut && kept < len) {
        // The byte it stopped in: some of its bits cleared, not all.
        dst[kept] = static_cast<uint8_t>(dst[kept] & (in[kept] | next_noise()));
    }
    for (uint32_t w = offset / 4; kept != 0 && w <= (offset + kept - 1) / 4; ++w) {
        if (++word_programs[w] > most_word_programs) {
            most_word_programs = word_programs[w];
        }
    }
    return cut || worn ? 1 : 0;
}

uint8_t flash_erase_sector(uint32_t offset) {
    ensure_initialised();
    if (power_lost) {
        return 1;
    }
    uint32_t kept = 0;
    const bool cut = count_and_check_cut('E', offset, FLASH_SECTOR_SIZE, &kept);
    if (refusing || !in_range(offset, FLASH_SECTOR_SIZE) || offset % FLASH_SECTOR_SIZE != 0) {
        return 1;
    }
    const uint32_t index = offset / FLASH_SECTOR_SIZE;
    ++erase_counts[index];
    uint8_t *dst = image + offset;
    if (cut_raises_one_in != 0 && cut) {
        for (uint32_t i = 0; i < FLASH_SECTOR_SIZE; ++i) {
            for (uint32_t bit = 0; bit < 8; ++bit) {
                if (next_noise() % cut_raises_one_in == 0) {
                    dst[i] = static_cast<uint8_t>(dst[i] | 1u << bit);
                }
            }
        }
        return 1; // word program counts kept: no word here is reliably erased
    }
    if (cut_scrambles && cut) {
        for (uint32_t i = 0; i < FLASH_SECTOR_SIZE; ++i) {
            const uint32_t r = next_noise();
            if (r % 3 == 0) {
                dst[i] = 0xFF;
            } else if (r % 3 == 1) {
                dst[i] = static_cast<uint8_t>(r >> 8);
            } // else as it was
        }
        return 1; // word program counts kept: no word here is reliably erased
    }
    std::memset(dst, 0xFF, kept);
    std::memset(word_programs + offset / 4, 0, kept / 4);
    return cut ? 1 : 0;
}

} // extern "C"
