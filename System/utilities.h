#ifndef SYSTEM_UTILITIES_H
#define SYSTEM_UTILITIES_H
/*
 * Checksum of the saved light record and of the store's entries. Pure
 * functions: callable from any context, also from interrupts.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * CRC-8: polynomial x^8 + x^2 + x + 1 (0x07), initial value 0, input and output
 * not reflected, no final XOR. Check value over the ASCII bytes "123456789":
 * 0xF4. A null pointer or zero length gives 0.
 */
uint8_t check_sum(const uint8_t *data, uint16_t len);
/* The same CRC carried on over more bytes: check_sum over a and then b equals
 * check_sum_update(check_sum(a), b). */
uint8_t check_sum_update(uint8_t crc, const uint8_t *data, uint16_t len);

#ifdef __cplusplus
}
#endif

#endif
