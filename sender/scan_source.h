// Made-up scans as a source of telegrams: each scan a type-1 telegram with
// the beam range, then type-6 blocks 0 to N-1 of 16-bit values, as a scanner
// sends them.
#ifndef SENDER_SCAN_SOURCE_H_
#define SENDER_SCAN_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sender/telegram_source.h"

struct ScanPlan {
  long scans;        // scans to send, numbered from 1
  long blocks;       // type-6 blocks per scan, numbered from 0
  long size;         // bytes of each type-6 telegram
  bool beam_range;   // a type-1 telegram before each scan's blocks
  bool same_values;  // every scan's blocks carry the values of scan 1
  bool smooth;       // values follow a smooth profile, not the whole 16-bit range
};

// The telegrams of a plan, in order, none of them timed.
class ScanSource : public TelegramSource {
 public:
  explicit ScanSource(const ScanPlan& plan);
  bool Next(SourceTelegram* next) override;

 private:
  ScanPlan plan_;
  long scan_ = 0;  // the scan of the next telegram, from 0
  long block_;     // its block, from 0; -1 for the beam range
  std::vector<unsigned char> telegram_;
};

// Writes the scan's type-1 telegram: the beam range 0 to 2700 in steps of
// 10, and the header's bytes 4 and 8 as a scanner fills them in; returns its
// size.
size_t BuildBeamTelegram(unsigned char* out);

// Writes a type-6 telegram of `size` bytes (at least 20, TotalSize = size)
// whose values are a pattern of scan, block and position; returns `size`.
size_t BuildBlockTelegram(unsigned char* out, size_t size, uint32_t scan_no, uint16_t block_no, bool smooth = false);

// The value at position `index` of the pattern BuildBlockTelegram writes:
// spread over the whole 16-bit range, so that every digit count appears;
// or, `smooth`, a profile that rises and falls between 1000 and 3000 a step
// at a time, as the distances a scanner measures do.
uint16_t PatternValue(uint32_t scan_no, uint16_t block_no, size_t index, bool smooth = false);

#endif  // SENDER_SCAN_SOURCE_H_
