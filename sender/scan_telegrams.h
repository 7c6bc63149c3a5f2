// The telegrams of one scan as the scanner sends them: a type-1 telegram
// with the beam range, then type-6 blocks of 16-bit values.
#ifndef SENDER_SCAN_TELEGRAMS_H_
#define SENDER_SCAN_TELEGRAMS_H_

#include <cstddef>
#include <cstdint>

#include "telegram/telegram_layout.h"

const size_t kMaxDatagramSize = 65507;  // the most an IPv4 UDP datagram carries

void PutU16(unsigned char* at, uint16_t value);
void PutU32(unsigned char* at, uint32_t value);

// Writes the header.
void PutHeader(unsigned char* at, uint32_t total_size, uint16_t type, uint16_t block_no, uint32_t scan_no);

// Writes a type-1 telegram with the beam range; returns its size.
size_t BuildBeamTelegram(unsigned char* out, uint16_t beam_start, uint16_t beam_stop, uint16_t beam_step);

// Writes a type-6 telegram of `size` bytes (at least 20, TotalSize = size)
// whose values are a pattern of scan, block and position; returns `size`.
size_t BuildBlockTelegram(unsigned char* out, size_t size, uint32_t scan_no, uint16_t block_no);

// The value at position `index` of the pattern BuildBlockTelegram writes.
uint16_t PatternValue(uint32_t scan_no, uint16_t block_no, size_t index);

#endif  // SENDER_SCAN_TELEGRAMS_H_
