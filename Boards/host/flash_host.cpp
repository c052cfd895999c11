#include "flash_host.h"

#include "../flash.h"
#include "../../System/nvm_data_mgmt.h"

#include <cstdio>
#include <cstring>

namespace {

uint8_t image[FLASH_DATA_SIZE];
uint32_t erase_counts[FLASH_DATA_SECTOR_COUNT];
uint32_t operations = 0;
uint32_t violations = 0;
uint32_t cut_countdown = 0;
bool refusing = false;
bool initialised = false;

void ensure_initialised() {
    if (!initialised) {
        flash_host_erase_all();
    }
}

bool in_range(uint32_t addr, uint32_t len) {
    return addr >= FLASH_DATA_BASE_ADDR && len <= FLASH_DATA_SIZE &&
           addr - FLASH_DATA_BASE_ADDR <= FLASH_DATA_SIZE - len;
}

// Counts the operation and reports whether a cut falls on it.
bool count_and_check_cut() {
    ++operations;
    if (cut_countdown == 0) {
        return false;
    }
    return --cut_countdown == 0;
}

} // namespace

extern "C" {

void flash_host_erase_all(void) {
    std::memset(image, 0xFF, sizeof image);
    std::memset(erase_counts, 0, sizeof erase_counts);
    operations = 0;
    violations = 0;
    cut_countdown = 0;
    refusing = false;
    initialised = true;
}

uint8_t flash_host_load(const char *path) {
    ensure_initialised();
    std::FILE *f = std::fopen(path, "rb");
    if (f == nullptr) {
        return 0;
    }
    const size_t got = std::fread(image, 1, sizeof image, f);
    std::fclose(f);
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
void flash_host_cut_at(uint32_t n) {
    cut_countdown = n;
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

void flash_read(uint32_t addr, void *buf, uint32_t len) {
    ensure_initialised();
    auto *out = static_cast<uint8_t *>(buf);
    for (uint32_t i = 0; i < len; ++i) {
        const uint32_t a = addr + i;
        out[i] = in_range(a, 1) ? image[a - FLASH_DATA_BASE_ADDR] : 0xFF;
    }
}

uint8_t flash_program(uint32_t addr, const void *buf, uint32_t len) {
    ensure_initialised();
    const bool cut = count_and_check_cut();
    if (refusing || !in_range(addr, len) || buf == nullptr) {
        return 1;
    }
    const auto *in = static_cast<const uint8_t *>(buf);
    uint8_t *dst = image + (addr - FLASH_DATA_BASE_ADDR);
    for (uint32_t i = 0; i < len; ++i) {
        if ((in[i] & ~dst[i]) != 0) {
            ++violations; // NOR cannot raise a bit without an erase
            return 1;
        }
    }
    const uint32_t done = cut ? len / 2 : len;
    for (uint32_t i = 0; i < done; ++i) {
        dst[i] = static_cast<uint8_t>(dst[i] & in[i]);
    }
    return cut ? 1 : 0;
}

uint8_t flash_erase_sector(uint32_t sector_addr) {
    ensure_initialised();
    const bool cut = count_and_check_cut();
    if (refusing || !in_range(sector_addr, FLASH_SECTOR_SIZE) ||
        (sector_addr - FLASH_DATA_BASE_ADDR) % FLASH_SECTOR_SIZE != 0) {
        return 1;
    }
    const uint32_t index = (sector_addr - FLASH_DATA_BASE_ADDR) / FLASH_SECTOR_SIZE;
    ++erase_counts[index];
    std::memset(image + index * FLASH_SECTOR_SIZE, 0xFF,
                cut ? FLASH_SECTOR_SIZE / 2 : FLASH_SECTOR_SIZE);
    return cut ? 1 : 0;
}

} // extern "C"
