// Writing telegrams: the fields little-endian at the offsets of
// telegram_layout.h, the inverse of the reading in telegram.h. Used by the
// sender, the tests and the benchmark.
#ifndef TELEGRAM_TELEGRAM_WRITER_H_
#define TELEGRAM_TELEGRAM_WRITER_H_

#include <cstddef>
#include <cstdint>

#include "telegram/telegram_layout.h"

inline void PutU16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}

inline void PutU32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The 20-byte header, with the bytes that no field names set to 0.
void WriteHeader(unsigned char* at, uint32_t total_size, uint16_t type, uint16_t block_no, uint32_t scan_no);

// A whole type-1 telegram, kBeamTelegramSize bytes, with the beam range
// and the header's bytes 4 and 8; returns its size.
size_t WriteBeamTelegram(unsigned char* at, uint16_t beam_start, uint16_t beam_stop, uint16_t beam_step,
                         uint8_t header_byte4, uint8_t header_byte8);

#endif  // TELEGRAM_TELEGRAM_WRITER_H_
