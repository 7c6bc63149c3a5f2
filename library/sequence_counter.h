// ScanNo and BlockNo of type-6 telegrams, counted for gaps, repeats and
// reordering, claiming no more than the numbers show (docs/library.md has
// the rules).
//
// The numbering is followed as runs: a run is one numbering going up, with
// its last 64 scans in view, each with a bit for every block number seen.
// A telegram that fits no run, or a block number far above any its run had,
// is held as a candidate until a later telegram near it confirms it (then
// its jump is taken) or 16 telegrams have passed without one (then it is an
// outlier). Four runs are followed at most (two scanners on one port are
// two runs); one that has had no telegram for a while is let go for a new
// one, and while all four go on, a fifth numbering is outliers. All of it is
// had once, when the counter is made (2 MB), so that counting never
// allocates.
#ifndef LIBRARY_SEQUENCE_COUNTER_H_
#define LIBRARY_SEQUENCE_COUNTER_H_

#include <array>
#include <cstdint>

#include "tgr/tgr.h"

namespace tgr {

class SequenceCounter {
 public:
  // The scans of a run kept in view, by number: its newest and the 63 before.
  static constexpr uint32_t kScansInView = 64;
  // How far a later telegram may lie from a jump's number and confirm it:
  // within the view behind it, and as far ahead.
  static constexpr uint32_t kConfirmingDistance = 64;
  // How many telegrams may come after a candidate before it is an outlier.
  static constexpr uint64_t kConfirmWithin = 16;
  // A block number this far above any its run had is a jump of its own.
  static constexpr uint32_t kBlockJump = 64;
  static constexpr int kRuns = 4;
  // A run is let go for a new one only after this many telegrams without one.
  static constexpr uint64_t kIdleBeforeLetGo = 256;
  static constexpr int kCandidates = 4;

  // A type-6 telegram's numbers.
  void Add(uint32_t scan_no, uint16_t block_no);
  // A telegram of another type: counted, nothing more.
  void CountOther() { ++counts_.telegrams; }
  tgr_sequence_counts Counts() const;

 private:
  struct Scan {
    bool used = false;
    uint32_t scan_no = 0;
    uint32_t highest = 0;            // the highest block number seen
    uint32_t counted_from = 0;       // blocks below it were never counted missing
    uint64_t seen[65536 / 64] = {};  // a bit per block number; clear above the highest
  };

  struct Run {
    bool used = false;
    uint32_t newest = 0;      // its newest scan number
    uint32_t first = 0;       // its first scan: none before it was skipped
    uint64_t last_used = 0;   // the telegram that came to it last, for letting one go
    // The highest block number any scan reached, the scan that did, and the
    // highest that a second scan reached: the tails are counted up to that,
    // so that one stray block number does not make every scan look short.
    uint32_t top = 0;
    uint32_t top_scan = 0;
    uint32_t second_top = 0;
    uint64_t settled_tail = 0;  // tails of scans that left the view
    // What its start claimed of the run it jumped from: the scans skipped,
    // or a restart. Taken back if that run goes on.
    int from = -1;
    uint64_t claimed_scans = 0;
    bool claimed_restart = false;
    std::array<Scan, kScansInView> view;

    Scan& SlotOf(uint32_t scan_no) { return view[scan_no % kScansInView]; }
  };

  // A telegram held until a later one confirms it.
  struct Candidate {
    bool used = false;
    bool block_jump = false;  // its block number jumped; its scan fits run `run`
    int run = -1;
    uint32_t scan_no = 0;
    uint16_t block_no = 0;
    uint64_t serial = 0;  // the type-6 telegram it was
    uint64_t copies = 0;  // exact copies of it that came since
  };

  // The run `scan_no` belongs to: one whose view holds it or whose next
  // scan it is (the nearest, then the last used); -1 if none.
  int RunOf(uint32_t scan_no) const;
  // Whether `block_no` lies so far above what `run` had that it is a jump.
  static bool BlockJumps(const Run& run, uint32_t scan_no, uint16_t block_no);
  // A candidate this telegram confirms, or -1.
  int Confirmed(uint32_t scan_no, uint16_t block_no, int run) const;
  // The candidate made a run (or part of one): its jump is taken.
  void Confirm(int candidate);
  // A run this telegram is a little ahead of goes on to it, the scans
  // between missing; false if there is none.
  bool AdvanceNear(uint32_t scan_no, uint16_t block_no);
  void Hold(uint32_t scan_no, uint16_t block_no, bool block_jump, int run);
  // Candidates left unconfirmed too long are outliers.
  void Expire();

  // A telegram counted in run `r`, whose view or next scan holds it.
  void Take(int r, uint32_t scan_no, uint16_t block_no);
  // The run goes forward to `scan_no`, `ahead` scans on: the scans between
  // are missing.
  void Advance(int r, uint32_t scan_no, uint16_t block_no, uint32_t ahead);
  // A new run that starts at this telegram, after a jump from run `from`;
  // false if every run is still going.
  bool Start(uint32_t scan_no, uint16_t block_no, int from);
  // A run goes on after another jumped from it: that jump claimed nothing.
  void TakeBackJumpsFrom(int r);
  void LetGo(int r);

  // A new scan in its slot, whatever was there settled first, with its
  // first block; the blocks below it are counted missing if `count_below`.
  void Begin(Run& run, uint32_t scan_no, uint16_t block_no, bool count_below);
  static void Reached(Run& run, uint32_t scan_no, uint32_t highest);
  // Blocks above a scan's highest, up to what two scans of its run reached.
  static uint64_t TailOf(const Run& run, const Scan& scan);
  // Takes a scan out of view, its tail counted for good.
  static void Settle(Run& run, Scan* scan);
  // Marks a block of a scan in view; true if it came before.
  static bool Mark(Scan* scan, uint16_t block_no);

  std::array<Run, kRuns> runs_;
  std::array<Candidate, kCandidates> candidates_;
  int current_ = -1;  // the run the last telegram was counted in
  uint64_t serial_ = 0;
  uint64_t expired_ = 0;  // outliers for good
  tgr_sequence_counts counts_ = {};
};

}  // namespace tgr

#endif  // LIBRARY_SEQUENCE_COUNTER_H_
