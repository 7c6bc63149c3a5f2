#include "library/sequence_counter.h"

#include <cstring>

namespace tgr {

namespace {

// How far `scan_no` is ahead of `from`, the numbers wrapping round: negative
// behind.
int64_t Ahead(uint32_t scan_no, uint32_t from) { return static_cast<int32_t>(scan_no - from); }

void TakeOff(uint64_t* count, uint64_t n) { *count = *count > n ? *count - n : 0; }

}  // namespace

bool SequenceCounter::Mark(Scan* scan, uint16_t block_no) {
  const size_t word = block_no / 64;
  const uint64_t bit = uint64_t{1} << (block_no % 64);
  const bool before = (scan->seen[word] & bit) != 0;
  scan->seen[word] |= bit;
  return before;
}

uint64_t SequenceCounter::TailOf(const Run& run, const Scan& scan) {
  return run.second_top > scan.highest ? run.second_top - scan.highest : 0;
}

void SequenceCounter::Settle(Run& run, Scan* scan) {
  if (!scan->used) return;
  // The newest scan's tail is not known yet: more of it may come.
  if (scan->scan_no != run.newest) run.settled_tail += TailOf(run, *scan);
  memset(scan->seen, 0, (scan->highest / 64 + 1) * sizeof scan->seen[0]);
  scan->used = false;
}

void SequenceCounter::Reached(Run& run, uint32_t scan_no, uint32_t highest) {
  if (scan_no == run.top_scan) {
    if (highest > run.top) run.top = highest;
  } else if (highest > run.top) {
    run.second_top = run.top;
    run.top = highest;
    run.top_scan = scan_no;
  } else if (highest > run.second_top) {
    run.second_top = highest;
  }
}

void SequenceCounter::Begin(Run& run, uint32_t scan_no, uint16_t block_no, bool count_below) {
  Scan& scan = run.SlotOf(scan_no);
  Settle(run, &scan);
  scan.used = true;
  scan.scan_no = scan_no;
  scan.highest = block_no;
  scan.counted_from = count_below ? 0 : block_no;
  if (count_below) counts_.missing_blocks += block_no;
  Mark(&scan, block_no);
  Reached(run, scan_no, block_no);
}

int SequenceCounter::RunOf(uint32_t scan_no) const {
  int best = -1;
  int64_t best_distance = 0;
  for (int r = 0; r < kRuns; ++r) {
    const Run& run = runs_[r];
    if (!run.used) continue;
    const int64_t ahead = Ahead(scan_no, run.newest);
    if (ahead > 1 || ahead <= -static_cast<int64_t>(kScansInView)) continue;
    const int64_t distance = ahead < 0 ? -ahead : ahead;
    if (best < 0 || distance < best_distance ||
        (distance == best_distance && run.last_used > runs_[best].last_used)) {
      best = r;
      best_distance = distance;
    }
  }
  return best;
}

bool SequenceCounter::BlockJumps(const Run& run, uint32_t scan_no, uint16_t block_no) {
  uint32_t had = run.top;
  const Scan& scan = run.view[scan_no % kScansInView];
  if (scan.used && scan.scan_no == scan_no && scan.highest > had) had = scan.highest;
  return block_no > had + kBlockJump;
}

int SequenceCounter::Confirmed(uint32_t scan_no, uint16_t block_no, int run) const {
  for (int c = 0; c < kCandidates; ++c) {
    const Candidate& candidate = candidates_[c];
    if (!candidate.used) continue;
    if (scan_no == candidate.scan_no && block_no == candidate.block_no) continue;  // a copy confirms nothing
    if (candidate.block_jump) {
      // A later block of its scan, near it.
      const int32_t apart = static_cast<int32_t>(block_no) - candidate.block_no;
      if (run == candidate.run && scan_no == candidate.scan_no && apart > -static_cast<int32_t>(kBlockJump) &&
          apart <= static_cast<int32_t>(kBlockJump)) {
        return c;
      }
      continue;
    }
    const int64_t ahead = Ahead(scan_no, candidate.scan_no);
    if (ahead > -static_cast<int64_t>(kConfirmingDistance) && ahead <= kConfirmingDistance) return c;
  }
  return -1;
}

void SequenceCounter::Hold(uint32_t scan_no, uint16_t block_no, bool block_jump, int run) {
  for (Candidate& candidate : candidates_) {
    if (candidate.used && candidate.scan_no == scan_no && candidate.block_no == block_no) {
      ++candidate.copies;
      return;
    }
  }
  // The oldest makes room: it is an outlier now.
  Candidate* slot = candidates_.data();
  for (Candidate& candidate : candidates_) {
    if (!candidate.used) {
      slot = &candidate;
      break;
    }
    if (candidate.serial < slot->serial) slot = &candidate;
  }
  if (slot->used) expired_ += 1 + slot->copies;
  *slot = Candidate{true, block_jump, run, scan_no, block_no, serial_, 0};
}

void SequenceCounter::Expire() {
  for (Candidate& candidate : candidates_) {
    if (candidate.used && serial_ - candidate.serial > kConfirmWithin) {
      expired_ += 1 + candidate.copies;
      candidate.used = false;
    }
  }
}

void SequenceCounter::LetGo(int r) {
  Run& run = runs_[r];
  for (Scan& scan : run.view) Settle(run, &scan);
  // What it settled stays counted; it is followed no more.
  counts_.missing_tail_blocks += run.settled_tail;
  run.settled_tail = 0;
  run.used = false;
  for (Run& other : runs_) {
    if (other.from == r) other.from = -1;
  }
  for (Candidate& candidate : candidates_) {
    if (candidate.used && candidate.block_jump && candidate.run == r) {
      expired_ += 1 + candidate.copies;
      candidate.used = false;
    }
  }
  if (current_ == r) current_ = -1;
}

void SequenceCounter::TakeBackJumpsFrom(int r) {
  for (Run& run : runs_) {
    if (!run.used || run.from != r) continue;
    TakeOff(&counts_.missing_scans, run.claimed_scans);
    if (run.claimed_restart) TakeOff(&counts_.restarts, 1);
    run.from = -1;
    run.claimed_scans = 0;
    run.claimed_restart = false;
  }
}

bool SequenceCounter::Start(uint32_t scan_no, uint16_t block_no, int from) {
  // A jump from another run: forward, the scans between are missing; back
  // (or forward by 2^31 and more), the numbering started again.
  const int64_t ahead = from >= 0 ? Ahead(scan_no, runs_[from].newest) : 0;
  int r = 0;
  for (int i = 0; i < kRuns; ++i) {
    if (!runs_[i].used) {
      r = i;
      break;
    }
    if (runs_[i].last_used < runs_[r].last_used) r = i;
  }
  if (runs_[r].used) {
    // Every run still going: a numbering more than they is not followed.
    if (serial_ - runs_[r].last_used <= kIdleBeforeLetGo) return false;
    LetGo(r);
  }
  if (r == from) from = -1;  // nothing left to take its claim back from
  Run& run = runs_[r];
  run.used = true;
  run.newest = scan_no;
  run.first = scan_no;
  run.last_used = serial_;
  run.top = 0;
  run.top_scan = scan_no;
  run.second_top = 0;
  run.settled_tail = 0;
  run.from = from;
  run.claimed_scans = 0;
  run.claimed_restart = false;
  if (from >= 0) {
    if (ahead > 0) {
      run.claimed_scans = static_cast<uint64_t>(ahead - 1);
      counts_.missing_scans += run.claimed_scans;
    } else {
      run.claimed_restart = true;
      ++counts_.restarts;
    }
  }
  // A run is counted from its first telegram: the blocks before it in its
  // scan may have been sent before anyone listened.
  Begin(run, scan_no, block_no, false);
  current_ = r;
  return true;
}

void SequenceCounter::Advance(int r, uint32_t scan_no, uint16_t block_no, uint32_t ahead) {
  Run& run = runs_[r];
  counts_.missing_scans += ahead - 1;
  run.newest = scan_no;
  // Beyond the view, every scan in it leaves it; nearer, Begin settles the
  // one whose slot the new scan takes.
  if (ahead >= kScansInView) {
    for (Scan& scan : run.view) Settle(run, &scan);
  }
  Begin(run, scan_no, block_no, true);
}

void SequenceCounter::Take(int r, uint32_t scan_no, uint16_t block_no) {
  Run& run = runs_[r];
  run.last_used = serial_;
  current_ = r;
  const int64_t ahead = Ahead(scan_no, run.newest);
  if (ahead == 1) {
    TakeBackJumpsFrom(r);
    Advance(r, scan_no, block_no, 1);
    return;
  }
  if (Ahead(scan_no, run.first) < 0) {
    // Late, from before the run's first scan: nothing was claimed of it.
    ++counts_.reordered;
    return;
  }
  Scan& scan = run.SlotOf(scan_no);
  if (!scan.used || scan.scan_no != scan_no) {
    // A scan counted as skipped came after all, late.
    ++counts_.reordered;
    TakeOff(&counts_.missing_scans, 1);
    Begin(run, scan_no, block_no, true);
    return;
  }
  if (Mark(&scan, block_no)) {
    ++counts_.repeated;
    return;
  }
  if (scan_no != run.newest || block_no < scan.highest) ++counts_.reordered;
  if (block_no < scan.highest) {
    // It fills a gap counted before, if its scan's gaps were counted there.
    if (block_no >= scan.counted_from) TakeOff(&counts_.missing_blocks, 1);
    return;
  }
  counts_.missing_blocks += block_no - scan.highest - 1;
  scan.highest = block_no;
  Reached(run, scan_no, block_no);
}

bool SequenceCounter::AdvanceNear(uint32_t scan_no, uint16_t block_no) {
  for (int r = 0; r < kRuns; ++r) {
    Run& run = runs_[r];
    if (!run.used) continue;
    const int64_t ahead = Ahead(scan_no, run.newest);
    if (ahead > 1 && ahead <= kConfirmingDistance) {
      run.last_used = serial_;
      current_ = r;
      Advance(r, scan_no, block_no, static_cast<uint32_t>(ahead));
      return true;
    }
  }
  return false;
}

void SequenceCounter::Confirm(int c) {
  const Candidate candidate = candidates_[c];
  candidates_[c].used = false;
  if (candidate.block_jump) {
    // Its scan may have left its run's view meanwhile: then it stays an
    // outlier.
    if (RunOf(candidate.scan_no) != candidate.run) {
      expired_ += 1 + candidate.copies;
      return;
    }
    counts_.repeated += candidate.copies;
    Take(candidate.run, candidate.scan_no, candidate.block_no);
    return;
  }
  // Its copies are repeats of it, now that it counts.
  counts_.repeated += candidate.copies;
  // A run it is a little ahead of goes on to it, its gap counted; else it
  // starts a run of its own, after a jump from the run counted last. Where
  // no run can be had for it, it stays an outlier.
  if (AdvanceNear(candidate.scan_no, candidate.block_no)) return;
  if (!Start(candidate.scan_no, candidate.block_no, current_)) {
    counts_.repeated -= candidate.copies;
    expired_ += 1 + candidate.copies;
  }
}

void SequenceCounter::Add(uint32_t scan_no, uint16_t block_no) {
  ++counts_.telegrams;
  ++counts_.block_telegrams;
  ++serial_;
  Expire();
  const int r = RunOf(scan_no);
  if (r >= 0 && !BlockJumps(runs_[r], scan_no, block_no)) {
    Take(r, scan_no, block_no);
    return;
  }
  // A jump, in its scan number or its block number: taken if it confirms
  // one held before, else held itself.
  const int c = Confirmed(scan_no, block_no, r);
  if (c < 0) {
    Hold(scan_no, block_no, r >= 0, r);
    return;
  }
  Confirm(c);
  // It lies in the run it confirmed, or a little ahead of it: confirmed in
  // turn by the telegram it confirmed, its gap is taken.
  const int now = RunOf(scan_no);
  if (now >= 0) {
    Take(now, scan_no, block_no);
  } else if (!AdvanceNear(scan_no, block_no)) {
    Hold(scan_no, block_no, false, -1);
  }
}

tgr_sequence_counts SequenceCounter::Counts() const {
  tgr_sequence_counts counts = counts_;
  counts.struct_size = sizeof counts;
  for (const Run& run : runs_) {
    if (!run.used) continue;
    counts.missing_tail_blocks += run.settled_tail;
    for (const Scan& scan : run.view) {
      if (scan.used && scan.scan_no != run.newest) counts.missing_tail_blocks += TailOf(run, scan);
    }
  }
  counts.outliers = expired_;
  for (const Candidate& candidate : candidates_) {
    if (candidate.used) counts.outliers += 1 + candidate.copies;
  }
  return counts;
}

}  // namespace tgr
