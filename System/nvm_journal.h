#ifndef SYSTEM_NVM_JOURNAL_H
#define SYSTEM_NVM_JOURNAL_H
// The journal ring behind the small keys of the store (layout in
// nvm_data_mgmt.h). Callers have checked key, offset, length and buffer.
#include <stdint.h>

namespace nvm_journal {

constexpr uint8_t key_count = 3; // keys 0..2 are journaled

void init();
void read(uint8_t key, uint16_t offset, uint8_t *buf, uint16_t len);
// True when the new value is complete on the flash.
bool write(uint8_t key, uint16_t offset, const uint8_t *buf, uint16_t len);
// Absolute address of an erased ring sector that holds nothing, for use as
// scratch by the plain region; false if there is none. The caller erases it
// again after use.
bool scratch_sector(uint32_t *addr);

} // namespace nvm_journal

#endif
