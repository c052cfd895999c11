#pragma once
// CRC-32 as Ethernet and zlib compute it (reflected polynomial 0xEDB88320,
// initial value and final inversion 0xFFFFFFFF; "123456789" gives 0xCBF43926):
// the one implementation the chip and lampsim share, for the serial link's
// frames and the fade digests.
#include <stdint.h>

namespace lampsim {

// The CRC of `len` bytes, continued from `crc` (0 to start), so that
// crc32(crc32(0, a), b) is the CRC of a followed by b.
uint32_t crc32(uint32_t crc, const void *bytes, uint32_t len);

} // namespace lampsim
