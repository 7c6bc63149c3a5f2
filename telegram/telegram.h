// The byte view of one received telegram and the fields read through it.
//
// A telegram is read where it lies, at the start of the receive buffer. All
// fields are unsigned and little-endian. Bytes past the datagram just received
// may still hold an earlier, longer datagram, so a field that does not lie
// wholly inside the received bytes reads as 0, and the block value run stops
// at the received length as well as at TotalSize.
#ifndef TELEGRAM_TELEGRAM_H_
#define TELEGRAM_TELEGRAM_H_

#include <cstddef>
#include <cstdint>

#include "telegram/telegram_layout.h"

struct Telegram {
  const unsigned char* bytes;  // first byte of the datagram
  size_t received;             // number of bytes the receive delivered
};

inline uint32_t ReadU8(Telegram t, size_t offset) {
  if (offset >= t.received) return 0;
  return t.bytes[offset];
}

inline uint32_t ReadU16(Telegram t, size_t offset) {
  if (t.received < 2 || offset > t.received - 2) return 0;
  return static_cast<uint32_t>(t.bytes[offset]) |
         static_cast<uint32_t>(t.bytes[offset + 1]) << 8;
}

inline uint32_t ReadU32(Telegram t, size_t offset) {
  if (t.received < 4 || offset > t.received - 4) return 0;
  return static_cast<uint32_t>(t.bytes[offset]) |
         static_cast<uint32_t>(t.bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(t.bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(t.bytes[offset + 3]) << 24;
}

// Header, shared by every telegram.
inline uint32_t TotalSize(Telegram t) { return ReadU32(t, kTotalSizeOffset); }
inline uint8_t HeaderByte4(Telegram t) { return static_cast<uint8_t>(ReadU8(t, kHeaderByte4Offset)); }
inline uint8_t HeaderByte8(Telegram t) { return static_cast<uint8_t>(ReadU8(t, kHeaderByte8Offset)); }
inline uint16_t TelegramType(Telegram t) { return static_cast<uint16_t>(ReadU16(t, kTelegramTypeOffset)); }
inline uint16_t BlockNo(Telegram t) { return static_cast<uint16_t>(ReadU16(t, kBlockNoOffset)); }
inline uint32_t ScanNo(Telegram t) { return ReadU32(t, kScanNoOffset); }

// Beam range of a type-1 telegram.
inline uint16_t BeamStart(Telegram t) { return static_cast<uint16_t>(ReadU16(t, kBeamStartOffset)); }
inline uint16_t BeamStop(Telegram t) { return static_cast<uint16_t>(ReadU16(t, kBeamStopOffset)); }
inline uint16_t BeamStep(Telegram t) { return static_cast<uint16_t>(ReadU16(t, kBeamStepOffset)); }

// Number of 16-bit BlockValues of a type-6 telegram: those that lie below
// TotalSize and whose two bytes were both received.
inline size_t BlockValueCount(Telegram t) {
  uint32_t total = TotalSize(t);
  size_t by_size = total > kBlockValuesOffset ? (total - kBlockValuesOffset) / 2 : 0;
  size_t by_received = t.received > kBlockValuesOffset ? (t.received - kBlockValuesOffset) / 2 : 0;
  return by_size < by_received ? by_size : by_received;
}

// Value i of BlockValues; i must be below BlockValueCount(t).
inline uint16_t BlockValue(Telegram t, size_t i) {
  const unsigned char* p = t.bytes + kBlockValuesOffset + 2 * i;
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

#endif  // TELEGRAM_TELEGRAM_H_
