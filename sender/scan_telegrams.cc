#include "sender/scan_telegrams.h"

#include <cstring>

#include "telegram/telegram_writer.h"

size_t BuildBeamTelegram(unsigned char* out) { return WriteBeamTelegram(out, 0, 2700, 10, 3, 1); }

uint16_t PatternValue(uint32_t scan_no, uint16_t block_no, size_t index) {
  // Spread over the whole 16-bit range so that every digit count appears.
  return static_cast<uint16_t>(static_cast<uint32_t>(index) * 2654435761u + scan_no * 40503u + block_no * 257u);
}

size_t BuildBlockTelegram(unsigned char* out, size_t size, uint32_t scan_no, uint16_t block_no) {
  WriteHeader(out, static_cast<uint32_t>(size), 6, block_no, scan_no);
  for (size_t i = 0; kBlockValuesOffset + 2 * i + 1 < size; ++i) {
    PutU16(out + kBlockValuesOffset + 2 * i, PatternValue(scan_no, block_no, i));
  }
  if (size % 2 == 1 && size > kBlockValuesOffset) out[size - 1] = 0;
  return size;
}
