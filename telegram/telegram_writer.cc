#include "telegram/telegram_writer.h"

#include <cstring>

void WriteHeader(unsigned char* at, uint32_t total_size, uint16_t type, uint16_t block_no, uint32_t scan_no) {
  memset(at, 0, kHeaderSize);
  PutU32(at + kTotalSizeOffset, total_size);
  PutU16(at + kTelegramTypeOffset, type);
  PutU16(at + kBlockNoOffset, block_no);
  PutU32(at + kScanNoOffset, scan_no);
}

size_t WriteBeamTelegram(unsigned char* at, uint16_t beam_start, uint16_t beam_stop, uint16_t beam_step,
                         uint8_t header_byte4, uint8_t header_byte8) {
  memset(at, 0, kBeamTelegramSize);
  WriteHeader(at, kBeamTelegramSize, kBeamRangeType, 0, 0);
  at[kHeaderByte4Offset] = header_byte4;
  at[kHeaderByte8Offset] = header_byte8;
  PutU16(at + kBeamStartOffset, beam_start);
  PutU16(at + kBeamStopOffset, beam_stop);
  PutU16(at + kBeamStepOffset, beam_step);
  return kBeamTelegramSize;
}
