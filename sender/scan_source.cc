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
  WriteHeader(out, static_cast<uint32_t>(size), 6, block_no, scan_no);
  for (size_t i = 0; kBlockValuesOffset + 2 * i + 1 < size; ++i) {
    PutU16(out + kBlockValuesOffset + 2 * i, PatternValue(scan_no, block_no, i, smooth));
  }
  if (size % 2 == 1 && size > kBlockValuesOffset) out[size - 1] = 0;
  return size;
}

namespace {

bool NextScanTelegram(void* state, SourceTelegram* next) {
  ScanSource* source = static_cast<ScanSource*>(state);
  const ScanPlan& plan = source->plan;
  while (source->scan < plan.scans && source->block >= plan.blocks) {
    ++source->scan;
    source->block = plan.beam_range ? -1 : 0;
  }
  if (source->scan >= plan.scans) return false;
  const uint32_t scan_no = static_cast<uint32_t>(source->scan + 1);
  unsigned char* telegram = source->telegram.data();
  size_t length = 0;
  if (source->block < 0) {
    length = BuildBeamTelegram(telegram);
  } else {
    length = BuildBlockTelegram(telegram, static_cast<size_t>(plan.size), plan.same_values ? 1 : scan_no,
                                static_cast<uint16_t>(source->block), plan.smooth);
    PutU32(telegram + kScanNoOffset, scan_no);
  }
  ++source->block;
  *next = SourceTelegram{telegram, length, kNotTimed};
  return true;
}

}  // namespace

TelegramSource StartScanSource(ScanSource* source, const ScanPlan& plan) {
  source->plan = plan;
  source->scan = 0;
  source->block = plan.beam_range ? -1 : 0;
  source->telegram.assign(kMaxDatagramSize, 0);
  return TelegramSource{NextScanTelegram, source};
}
