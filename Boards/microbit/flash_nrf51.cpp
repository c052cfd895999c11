// Boards/flash.h on the nRF51's own flash, through its NVMC. The controller
// programs whole 32-bit words and erases 1024-byte pages, the store's sector.
// Data-area offsets map onto NRF51_DATA_AREA_ADDR onwards; nothing else is
// served (anything else would be the firmware, and reads 0xFF). Words go in
// address order: a program cut short has programmed the words before the one
// it stopped in, as Boards/flash.h states.
#include "nrf51.h"
#include "../flash.h"

static_assert(FLASH_SECTOR_SIZE == NRF51_PAGE_SIZE, "a store sector is one flash page");
static_assert(NRF51_DATA_AREA_ADDR % NRF51_PAGE_SIZE == 0, "data area starts on a page");
static_assert(NRF51_DATA_AREA_ADDR + FLASH_DATA_SIZE <= NRF51_FLASH_SIZE,
              "data area inside the chip's flash");

namespace {

bool refuse_writes = false; // board_flash_refuse_writes

bool in_data_area(uint32_t offset, uint32_t len) {
    return offset <= FLASH_DATA_SIZE && len <= FLASH_DATA_SIZE - offset;
}

// The data area as memory, read plainly: the flash changes only through the
// NVMC, and each operation on it ends in wait_ready, whose barrier makes the
// compiler read the flash afresh.
const uint8_t *area() {
    return reinterpret_cast<const uint8_t *>(NRF51_DATA_AREA_ADDR);
}

void wait_ready() {
    while ((NVMC_READY & 1u) == 0u) {
    }
    __asm__ volatile("" ::: "memory");
}

// The word at data-area offset `word` (a multiple of 4) with the bytes of
// [offset, offset + len) from `in` and 0xFF elsewhere, which leaves those
// bytes as they are.
uint32_t word_of(uint32_t word, uint32_t offset, uint32_t len, const uint8_t *in) {
    if (word >= offset && word + 4u <= offset + len) {
        const uint8_t *p = in + (word - offset);
        return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    }
    uint32_t value = 0xFFFFFFFFu;
    for (uint32_t b = 0; b < 4u; ++b) {
        if (word + b - offset < len) { // wraps below offset
            value &= ~(0xFFu << (8u * b)) | static_cast<uint32_t>(in[word + b - offset])
                                                << (8u * b);
        }
    }
    return value;
}

} // namespace

extern "C" {

void board_flash_refuse_writes(bool refuse) {
    refuse_writes = refuse;
}

void flash_read(uint32_t offset, void *buf, uint32_t len) {
    auto *out = static_cast<uint8_t *>(buf);
    // Past the area, also where offset + len wraps: 0xFF.
    const uint32_t inside = offset < FLASH_DATA_SIZE ? FLASH_DATA_SIZE - offset : 0u;
    const uint32_t n = len < inside ? len : inside;
    for (uint32_t i = 0; i < n; ++i) {
        out[i] = area()[offset + i];
    }
    for (uint32_t i = n; i < len; ++i) {
        out[i] = 0xFFu;
    }
}

uint8_t flash_program(uint32_t offset, const void *buf, uint32_t len) {
    if (refuse_writes || buf == nullptr || !in_data_area(offset, len)) {
        return 1;
    }
    const auto *in = static_cast<const uint8_t *>(buf);
    // NOR only clears bits: a range that needs a 0 raised is refused untouched.
    for (uint32_t k = 0; k < len; ++k) {
        if ((in[k] & static_cast<uint8_t>(~area()[offset + k])) != 0u) {
            return 1;
        }
    }
    wait_ready();
    NVMC_CONFIG = NVMC_CONFIG_WEN;
    for (uint32_t word = offset & ~3u; word < offset + len; word += 4u) {
        REG32(NRF51_DATA_AREA_ADDR + word) = word_of(word, offset, len, in);
        wait_ready();
    }
    NVMC_CONFIG = NVMC_CONFIG_REN;
    wait_ready();
    for (uint32_t k = 0; k < len; ++k) {
        if (area()[offset + k] != in[k]) {
            return 1;
        }
    }
    return 0;
}

uint8_t flash_erase_sector(uint32_t offset) {
    if (refuse_writes || !in_data_area(offset, FLASH_SECTOR_SIZE) ||
        offset % FLASH_SECTOR_SIZE != 0) {
        return 1;
    }
    const uint32_t page = NRF51_DATA_AREA_ADDR + offset;
    wait_ready();
    NVMC_CONFIG = NVMC_CONFIG_EEN;
    NVMC_ERASEPAGE = page;
    wait_ready();
    NVMC_CONFIG = NVMC_CONFIG_REN;
    wait_ready();
    for (uint32_t k = 0; k < FLASH_SECTOR_SIZE; k += 4u) {
        if (REG32(page + k) != 0xFFFFFFFFu) {
            return 1;
        }
    }
    return 0;
}

} // extern "C"
