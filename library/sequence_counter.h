// ScanNo and BlockNo of type-6 telegrams, counted for gaps, repeats and
// reordering (what each count claims is said in tgr.h). The last 64 scans
// are kept in view, each with a bit for every block number seen: 512 KB,
// had once, however long the run, so that counting never allocates.
#ifndef LIBRARY_SEQUENCE_COUNTER_H_
#define LIBRARY_SEQUENCE_COUNTER_H_

#include <array>
#include <cstdint>

#include "tgr/tgr.h"

namespace tgr {

class SequenceCounter {
 public:
  // The scans kept in view, by number: the newest and the 63 before it.
  static constexpr uint32_t kScansInView = 64;

  void Add(uint32_t scan_no, uint16_t block_no);
  tgr_sequence_counts Counts() const;

 private:
  struct Scan {
    bool used = false;
    uint32_t scan_no = 0;
    uint32_t highest = 0;          // the highest block number seen
    uint32_t counted_from = 0;     // blocks below it were never counted missing
    uint64_t seen[65536 / 64] = {};  // a bit per block number; clear above the highest
  };

  Scan& SlotOf(uint32_t scan_no) { return view_[scan_no % kScansInView]; }
  // A new scan in its slot, whatever was there settled first, with its
  // first block; the blocks below it are counted missing if `count_below`.
  void Begin(uint32_t scan_no, uint16_t block_no, bool count_below);
  // Blocks above a scan's highest, up to the highest any scan had.
  uint64_t TailOf(const Scan& scan) const;
  // Takes a scan out of view, its tail counted for good.
  void Settle(Scan* scan);
  // Marks a block of a scan in view; true if it came before.
  static bool Mark(Scan* scan, uint16_t block_no);
  // Every scan out of view; what they leave is counted for good.
  void Restart(uint32_t scan_no);

  std::array<Scan, kScansInView> view_;
  bool started_ = false;
  uint32_t newest_ = 0;      // the newest scan number in view
  uint32_t first_ = 0;       // the run's first scan: none before it was skipped
  uint32_t top_block_ = 0;   // the highest block number of any scan
  uint64_t settled_tail_ = 0;
  tgr_sequence_counts counts_ = {};
};

}  // namespace tgr

#endif  // LIBRARY_SEQUENCE_COUNTER_H_
