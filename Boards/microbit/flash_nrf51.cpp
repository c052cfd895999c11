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

volatile const uint8_t &byte_at(uint32_t offset) {
    return *reinterpret_cast<const volatile uint8_t *>(NRF51_DATA_AREA_ADDR + offset);
}

void wait_ready() {
    while ((NVMC_READY & 1u) == 0u) {
    }
}

} // namespace

extern "C" {

void board_flash_refuse_writes(bool refuse) {
    refuse_writes = refuse;
}

void flash_read(uint32_t offset, void *buf, uint32_t len) {
    auto *out = static_cast<uint8_t *>(buf);
    for (uint32_t i = 0; i < len; ++i) {
        const uint32_t at = offset + i; // past the area, also where it wraps: 0xFF
        out[i] = at >= offset && at < FLASH_DATA_SIZE ? byte_at(at) : 0xFFu;
    }
}

uint8_t flash_program(uint32_t offset, const void *buf, uint32_t len) {
    if (refuse_writes || buf == nullptr || !in_data_area(offset, len)) {
        return 1;
    }
    const auto *in = static_cast<const uint8_t *>(buf);
    // NOR only clears bits: a range that needs a 0 raised is refused untouched.
    for (uint32_t k = 0; k < len; ++k) {
        if ((in[k] & static_cast<uint8_t>(~byte_at(offset + k))) != 0u) {
            return 1;
        }
    }
    wait_ready();
    NVMC_CONFIG = NVMC_CONFIG_WEN;
    // Bytes outside the range are written as 0xFF, which leaves them as they are.
    uint32_t i = 0;
    while (i < len) {
        const uint32_t word_addr = (NRF51_DATA_AREA_ADDR + offset + i) & ~3u;
        uint32_t word = 0xFFFFFFFFu;
        for (uint32_t b = (offset + i) & 3u; b < 4u && i < len; ++b, ++i) {
            word &= ~(0xFFu << (8u * b)) | (static_cast<uint32_t>(in[i]) << (8u * b));
        }
        REG32(word_addr) = word;
        wait_ready();
    }
    NVMC_CONFIG = NVMC_CONFIG_REN;
    wait_ready();
    for (uint32_t k = 0; k < len; ++k) {
        if (byte_at(offset + k) != in[k]) {
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
