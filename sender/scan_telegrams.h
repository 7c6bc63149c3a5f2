// The telegrams of one scan as the scanner sends them: a type-1 telegram
// with the beam range, then type-6 blocks of 16-bit values.
#ifndef SENDER_SCAN_TELEGRAMS_H_
#define SENDER_SCAN_TELEGRAMS_H_

#include <cstddef>
#include <cstdint>

#include "telegram/telegram_layout.h"

// Writes the scan's type-1 telegram: the beam range 0 to 2700 in steps of
// 10, and the header's bytes 4 and 8 as a scanner fills them in; returns its
// size.
size_t BuildBeamTelegram(unsigned char* out);

// Writes a type-6 telegram of `size` bytes (at least 20, TotalSize = size)
// whose values are a pattern of scan, block and position; returns `size`.
size_t BuildBlockTelegram(unsigned char* out, size_t size, uint32_t scan_no, uint16_t block_no);

// The value at position `index` of the pattern BuildBlockTelegram writes.
uint16_t PatternValue(uint32_t scan_no, uint16_t block_no, size_t index);

#endif  // SENDER_SCAN_TELEGRAMS_H_
