// Where each field of a telegram lies: byte offsets from the start of the
// datagram, and the sizes of the parts. The decoding reads at these offsets
// and the sender writes at them, so the layout is stated here only.
// Multi-byte fields are unsigned little-endian.
#ifndef TELEGRAM_TELEGRAM_LAYOUT_H_
#define TELEGRAM_TELEGRAM_LAYOUT_H_

#include <cstddef>
#include <cstdint>

// The telegram types the report decodes further than its type line.
const uint16_t kBeamRangeType = 1;    // a beam range: its beam count
const uint16_t kBlockValuesType = 6;  // a numbered block of values of a numbered scan

// The blocks whose values the report lists; it gives the others a line alone.
const uint16_t kFirstBlockWithValues = 0;
const uint16_t kLastBlockWithValues = 1;
inline bool BlockHasValuesInReport(uint32_t block_no) {
  // One unsigned comparison for both ends: a number below the first wraps
  // round to one far above the last.
  return block_no - kFirstBlockWithValues <= uint32_t{kLastBlockWithValues - kFirstBlockWithValues};
}

// The header every telegram starts with.
const size_t kTotalSizeOffset = 0;     // 32 bits: the telegram's length, header included
const size_t kHeaderByte4Offset = 4;   // 8 bits
const size_t kHeaderByte8Offset = 8;   // 8 bits
const size_t kTelegramTypeOffset = 12; // 16 bits: 1 beam range, 6 block of values
const size_t kBlockNoOffset = 14;      // 16 bits, type 6
const size_t kScanNoOffset = 16;       // 32 bits, type 6
const size_t kHeaderSize = 20;

// The beam range of a type-1 telegram, 16 bits each.
const size_t kBeamStartOffset = 40;
const size_t kBeamStopOffset = 42;
const size_t kBeamStepOffset = 44;
const size_t kBeamTelegramSize = 46;  // the header, 20 bytes not read, the range

// The 16-bit block values of a type-6 telegram run from the end of the
// header up to TotalSize.
const size_t kBlockValuesOffset = kHeaderSize;

// The most an IPv4 UDP datagram carries, and so the longest telegram.
const size_t kMaxDatagramSize = 65507;

#endif  // TELEGRAM_TELEGRAM_LAYOUT_H_
