#include "sender/scan_telegrams.h"

#include <cstring>

#include "telegram/telegram_layout.h"

void PutU16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}

void PutU32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

void PutHeader(unsigned char* at, uint32_t total_size, uint16_t type, uint16_t block_no, uint32_t scan_no) {
  memset(at, 0, kHeaderSize);
  PutU32(at + kTotalSizeOffset, total_size);
  PutU16(at + kTelegramTypeOffset, type);
  PutU16(at + kBlockNoOffset, block_no);
  PutU32(at + kScanNoOffset, scan_no);
}

size_t BuildBeamTelegram(unsigned char* out, uint16_t beam_start, uint16_t beam_stop, uint16_t beam_step) {
  memset(out, 0, kBeamTelegramSize);
  PutHeader(out, kBeamTelegramSize, 1, 0, 0);
  out[kHeaderByte4Offset] = 3;  // as a scanner fills them in
  out[kHeaderByte8Offset] = 1;
  PutU16(out + kBeamStartOffset, beam_start);
  PutU16(out + kBeamStopOffset, beam_stop);
  PutU16(out + kBeamStepOffset, beam_step);
  return kBeamTelegramSize;
}

uint16_t PatternValue(uint32_t scan_no, uint16_t block_no, size_t index) {
  // Spread over the whole 16-bit range so that every digit count appears.
  return static_cast<uint16_t>(static_cast<uint32_t>(index) * 2654435761u + scan_no * 40503u + block_no * 257u);
}

size_t BuildBlockTelegram(unsigned char* out, size_t size, uint32_t scan_no, uint16_t block_no) {
  PutHeader(out, static_cast<uint32_t>(size), 6, block_no, scan_no);
  for (size_t i = 0; kBlockValuesOffset + 2 * i + 1 < size; ++i) {
    PutU16(out + kBlockValuesOffset + 2 * i, PatternValue(scan_no, block_no, i));
  }
  if (size % 2 == 1 && size > kBlockValuesOffset) out[size - 1] = 0;
  return size;
}
