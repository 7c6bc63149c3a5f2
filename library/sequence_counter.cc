#include "library/sequence_counter.h"

#include <cstring>

namespace tgr {

bool SequenceCounter::Mark(Scan* scan, uint16_t block_no) {
  const size_t word = block_no / 64;
  const uint64_t bit = uint64_t{1} << (block_no % 64);
  const bool before = (scan->seen[word] & bit) != 0;
  scan->seen[word] |= bit;
  return before;
}

uint64_t SequenceCounter::TailOf(const Scan& scan) const {
  return top_block_ > scan.highest ? top_block_ - scan.highest : 0;
}

void SequenceCounter::Settle(Scan* scan) {
  // The newest scan's tail is not known yet: more of it may come.
  if (scan->used && scan->scan_no != newest_) settled_tail_ += TailOf(*scan);
  if (scan->used) memset(scan->seen, 0, (scan->highest / 64 + 1) * sizeof scan->seen[0]);
  scan->used = false;
}

void SequenceCounter::Begin(uint32_t scan_no, uint16_t block_no, bool count_below) {
  Scan& scan = SlotOf(scan_no);
  Settle(&scan);
  scan.used = true;
  scan.scan_no = scan_no;
  scan.highest = block_no;
  scan.counted_from = count_below ? 0 : block_no;
  if (count_below) counts_.missing_blocks += block_no;
  Mark(&scan, block_no);
}

void SequenceCounter::Restart(uint32_t scan_no) {
  for (Scan& scan : view_) Settle(&scan);
  newest_ = scan_no;
  first_ = scan_no;
}

void SequenceCounter::Add(uint32_t scan_no, uint16_t block_no) {
  ++counts_.telegrams;
  if (block_no > top_block_) top_block_ = block_no;
  if (!started_) {
    // The run is counted from its first telegram: the blocks before it in
    // its scan may have been sent before anyone listened.
    started_ = true;
    Restart(scan_no);
    Begin(scan_no, block_no, false);
    return;
  }
  // How far ahead of the newest scan, with the numbers wrapping round.
  const int64_t ahead = static_cast<int32_t>(scan_no - newest_);
  if (ahead > 0) {
    counts_.missing_scans += static_cast<uint64_t>(ahead - 1);
    newest_ = scan_no;
    // Beyond the view, every scan in it leaves it; nearer, Begin settles
    // the one whose slot the new scan takes.
    if (static_cast<uint64_t>(ahead) >= kScansInView) {
      for (Scan& scan : view_) Settle(&scan);
    }
    Begin(scan_no, block_no, true);
    return;
  }
  if (static_cast<int32_t>(scan_no - first_) < 0 && newest_ - scan_no < kScansInView) {
    // Late, from before the run's first scan: nothing was claimed of it.
    ++counts_.reordered;
    return;
  }
  if (newest_ - scan_no >= kScansInView) {
    // Back further than the view: a new run, with nothing claimed across it.
    ++counts_.restarts;
    Restart(scan_no);
    Begin(scan_no, block_no, false);
    return;
  }
  Scan& scan = SlotOf(scan_no);
  if (!scan.used || scan.scan_no != scan_no) {
    // A scan counted as skipped came after all, late.
    ++counts_.reordered;
    --counts_.missing_scans;
    Begin(scan_no, block_no, true);
    return;
  }
  if (Mark(&scan, block_no)) {
    ++counts_.repeated;
    return;
  }
  if (scan_no != newest_ || block_no < scan.highest) ++counts_.reordered;
  if (block_no < scan.highest) {
    // It fills a gap counted before, if its scan's gaps were counted there.
    if (block_no >= scan.counted_from) --counts_.missing_blocks;
    return;
  }
  counts_.missing_blocks += block_no - scan.highest - 1;
  scan.highest = block_no;
}

tgr_sequence_counts SequenceCounter::Counts() const {
  tgr_sequence_counts counts = counts_;
  counts.missing_tail_blocks = settled_tail_;
  for (const Scan& scan : view_) {
    if (scan.used && scan.scan_no != newest_) counts.missing_tail_blocks += TailOf(scan);
  }
  return counts;
}

}  // namespace tgr
