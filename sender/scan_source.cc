#include "sender/scan_source.h"

#include <cstring>

#include "telegram/telegram_writer.h"

size_t BuildBeamTelegram(unsigned char* out) { return WriteBeamTelegram(out, 0, 2700, 10, 3, 1); }

uint16_t PatternValue(uint32_t scan_no, uint16_t block_no, size_t index, bool smooth) {
  if (smooth) {
    const uint32_t phase = (static_cast<uint32_t>(index) + scan_no * 17u + block_no * 101u) % 4000u;
    return static_cast<uint16_t>(1000u + (phase < 2000u ? phase : 4000u - phase));
  }
  return static_cast<uint16_t>(static_cast<uint32_t>(index) * 2654435761u + scan_no * 40503u + block_no * 257u);
}

size_t BuildBlockTelegram(unsigned char* out, size_t size, uint32_t scan_no, uint16_t block_no, bool smooth) {
  WriteHeader(out, static_cast<uint32_t>(size), kBlockValuesType, block_no, scan_no);
  for (size_t i = 0; kBlockValuesOffset + 2 * i + 1 < size; ++i) {
    PutU16(out + kBlockValuesOffset + 2 * i, PatternValue(scan_no, block_no, i, smooth));
  }
  if (size % 2 == 1 && size > kBlockValuesOffset) out[size - 1] = 0;
  return size;
}

ScanSource::ScanSource(const ScanPlan& plan)
    : plan_(plan), block_(plan.beam_range ? -1 : 0), telegram_(kMaxDatagramSize, 0) {}

bool ScanSource::Next(SourceTelegram* next) {
  while (scan_ < plan_.scans && block_ >= plan_.blocks) {
    ++scan_;
    block_ = plan_.beam_range ? -1 : 0;
  }
  if (scan_ >= plan_.scans) return false;
  const uint32_t scan_no = static_cast<uint32_t>(scan_ + 1);
  unsigned char* telegram = telegram_.data();
  size_t length = 0;
  if (block_ < 0) {
    length = BuildBeamTelegram(telegram);
  } else {
    length = BuildBlockTelegram(telegram, static_cast<size_t>(plan_.size), plan_.same_values ? 1 : scan_no,
                                static_cast<uint16_t>(block_), plan_.smooth);
    PutU32(telegram + kScanNoOffset, scan_no);
  }
  ++block_;
  *next = SourceTelegram{telegram, length, kNotTimed, 0, 0};
  return true;
}
