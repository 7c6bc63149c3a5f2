// The sequence counts on crafted runs: each count says what the numbers
// show and no more. A jump is taken once a later telegram confirms it; a
// stale copy, a stray number or another scanner's numbering never counts as
// scans lost.
#include "library/sequence_counter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tgr/tgr.hpp"

namespace {

using Telegrams = std::vector<std::pair<uint32_t, uint16_t>>;

struct Expected {
  uint64_t missing_blocks, missing_scans, missing_tail_blocks, repeated, reordered, restarts, outliers;
};

// A counter of its own: 2 MB, more than a Windows thread's stack.
std::unique_ptr<tgr::SequenceCounter> NewCounter() { return std::make_unique<tgr::SequenceCounter>(); }

tgr_sequence_counts CountsOf(const Telegrams& run) {
  const auto counter = NewCounter();
  for (const auto& telegram : run) counter->Add(telegram.first, telegram.second);
  return counter->Counts();
}

void Check(const Telegrams& run, Expected e, const std::string& what) {
  SCOPED_TRACE(what);
  const tgr_sequence_counts c = CountsOf(run);
  EXPECT_EQ(c.telegrams, run.size());
  EXPECT_EQ(c.block_telegrams, run.size());
  EXPECT_EQ(c.missing_blocks, e.missing_blocks) << "missing blocks";
  EXPECT_EQ(c.missing_scans, e.missing_scans) << "missing scans";
  EXPECT_EQ(c.missing_tail_blocks, e.missing_tail_blocks) << "missing tail blocks";
  EXPECT_EQ(c.repeated, e.repeated) << "repeated";
  EXPECT_EQ(c.reordered, e.reordered) << "reordered";
  EXPECT_EQ(c.restarts, e.restarts) << "restarts";
  EXPECT_EQ(c.outliers, e.outliers) << "outliers";
}

// Scans `from` to `to` of `blocks` blocks each, appended to `run`.
void Scans(Telegrams* run, uint32_t from, uint32_t to, uint16_t blocks) {
  for (uint32_t scan = from;; ++scan) {
    for (uint16_t block = 0; block < blocks; ++block) run->emplace_back(scan, block);
    if (scan == to) break;
  }
}

Telegrams ScansOf(uint32_t from, uint32_t to, uint16_t blocks) {
  Telegrams run;
  Scans(&run, from, to, blocks);
  return run;
}

TEST(SequenceCounter, GapsAreCountedWhereTheNumbersShowThem) {
  Check({{1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}, {2, 2}}, {0, 0, 0, 0, 0, 0, 0}, "whole scans");
  Check({{1, 0}, {1, 1}, {1, 3}, {2, 1}, {2, 2}, {2, 3}}, {2, 0, 0, 0, 0, 0, 0},
        "a block lost in the middle, and one at the start of the next scan");
  Check({{1, 0}, {1, 1}, {4, 0}, {4, 1}}, {0, 2, 0, 0, 0, 0, 0}, "two scans lost whole: their blocks not guessed");
  Check({{7, 2}, {7, 3}, {8, 0}}, {0, 0, 0, 0, 0, 0, 0}, "the run starts inside a scan");
  Check({{0xFFFFFFFFu, 0}, {0, 0}, {1, 0}}, {0, 0, 0, 0, 0, 0, 0}, "the scan number wraps at 2^32");
  Check({{0xFFFFFFFEu, 0}, {1, 0}}, {0, 2, 0, 0, 0, 0, 0}, "scans lost across the wrap");
  Check({{1, 65535}, {2, 0}, {2, 65535}}, {65534, 0, 0, 0, 0, 0, 0}, "block numbers up to the last of 65536");
  // A long gap (a cable pulled for a while), confirmed by what follows it.
  Telegrams outage = ScansOf(1, 3, 2);
  Scans(&outage, 100003, 100005, 2);
  Check(outage, {0, 99999, 0, 0, 0, 0, 0}, "a long gap, confirmed");
}

TEST(SequenceCounter, TailsAreInferredFromWhatTwoScansReached) {
  // Scans 1 and 2 have four blocks: scan 3's last two are inferred lost;
  // the newest scan's tail is never claimed (more may come).
  Check({{1, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 0}, {2, 1}, {2, 2}, {2, 3}, {3, 0}, {3, 1}, {4, 0}},
        {0, 0, 2, 0, 0, 0, 0}, "two whole scans set the length");
  // One scan alone does not: it may hold a stray block number.
  Check({{1, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 0}, {2, 1}, {3, 0}}, {0, 0, 0, 0, 0, 0, 0}, "one scan alone");
  // A thousand scans that lost their last block, after two whole ones: each
  // tail counted as it leaves the view, whatever left it.
  Telegrams run = ScansOf(1, 2, 4);
  for (uint32_t scan = 3; scan <= 1000; ++scan) {
    for (uint16_t block = 0; block < 3; ++block) run.emplace_back(scan, block);
  }
  Check(run, {0, 0, 997, 0, 0, 0, 0}, "998 short scans, the newest not claimed");
}

TEST(SequenceCounter, LateTelegramsTakeBackWhatWasCounted) {
  Check({{1, 0}, {1, 2}, {1, 1}}, {0, 0, 0, 0, 1, 0, 0}, "a late block fills its gap");
  Check({{1, 0}, {3, 0}, {2, 1}}, {1, 0, 0, 0, 1, 0, 0}, "a scan counted skipped comes late, without its block 0");
  Check({{1, 0}, {2, 0}, {1, 3}}, {2, 0, 0, 0, 1, 0, 0}, "a late block of an earlier scan, above what it had");
  Check({{5, 2}, {5, 0}}, {0, 0, 0, 0, 1, 0, 0}, "before the run's first block");
  Check({{5, 0}, {6, 0}, {4, 3}}, {0, 0, 0, 0, 1, 0, 0}, "before the run's first scan");
  Check({{1, 0}, {1, 1}, {1, 1}, {2, 0}, {1, 0}}, {0, 0, 0, 2, 0, 0, 0}, "the same block again");
}

TEST(SequenceCounter, ARestartIsAConfirmedJumpBack) {
  Check({{500, 0}, {500, 1}, {501, 0}, {1, 0}, {1, 1}, {2, 0}}, {0, 0, 0, 0, 0, 1, 0},
        "the scanner started again: nothing claimed across it");
  // A jump back of 2^31 or more, or forward by as much, is a restart too.
  Check({{0, 0}, {0, 1}, {0x80000000u, 0}, {0x80000000u, 1}}, {0, 0, 0, 0, 0, 1, 0}, "half the numbers away");
  // A scan 63 back is in view (a repeat); 64 back is not, and no later
  // telegram confirms it: an outlier, not a scan taken back.
  Telegrams run = ScansOf(1, 100, 1);
  run.emplace_back(37, 0);
  Scans(&run, 101, 103, 1);
  Check(run, {0, 0, 0, 1, 0, 0, 0}, "63 back");
  run = ScansOf(1, 100, 1);
  run.emplace_back(36, 0);
  Scans(&run, 101, 103, 1);
  Check(run, {0, 0, 0, 0, 0, 0, 1}, "64 back");
}

TEST(SequenceCounter, StaleCopiesAndStrayNumbersAreOutliers) {
  // Scans 1-100 of two blocks, a stale copy of scan 5's block 0, scans
  // 101-103: nothing was lost.
  Telegrams run = ScansOf(1, 100, 2);
  run.emplace_back(5, 0);
  Scans(&run, 101, 103, 2);
  Check(run, {0, 0, 0, 0, 0, 0, 1}, "a stale copy");
  // The same copy twice: both outliers, still no restart.
  run = ScansOf(1, 100, 2);
  run.emplace_back(5, 0);
  run.emplace_back(5, 0);
  Scans(&run, 101, 120, 2);
  Check(run, {0, 0, 0, 0, 0, 0, 2}, "a stale copy twice");
  // One stray ScanNo 1000 among scans 1-13, and one from another run long
  // before any real scan reaches it.
  run = ScansOf(1, 6, 2);
  run.emplace_back(1000, 0);
  Scans(&run, 7, 13, 2);
  Check(run, {0, 0, 0, 0, 0, 0, 1}, "a stray number ahead");
  // A stray a little ahead, passed by the run later: it stays an outlier.
  run = ScansOf(1, 13, 1);
  run.emplace_back(20, 0);
  Scans(&run, 14, 40, 1);
  Check(run, {0, 0, 0, 0, 0, 0, 1}, "a stray a little ahead");
  // A flipped bit in a block number: block 2 reads 2050.
  run = ScansOf(1, 49, 4);
  run.insert(run.end(), {{50, 0}, {50, 1}, {50, 2050}, {50, 3}});
  Scans(&run, 51, 60, 4);
  Check(run, {1, 0, 0, 0, 0, 0, 1}, "a flipped bit in BlockNo: block 2 did not come as 2");
  // A handful of numbers at the edges of the range, each near another: no
  // count of billions (the jump to 2^31 is taken back as scan 1 goes on).
  Check({{0, 0}, {0xFFFFFFFFu, 65535}, {0x80000000u, 0}, {0x7FFFFFFFu, 65535}, {1, 1}, {0x7FFFFFFEu, 0}},
        {1, 0, 0, 0, 3, 0, 0}, "edge numbers");
}

TEST(SequenceCounter, AnotherScannersNumbersAreARunOfTheirOwn) {
  // Two scanners on one port, telegram by telegram: scans 1-20 and
  // 5000-5019 of three blocks, the second losing its scan 5010.
  Telegrams a = ScansOf(1, 20, 3);
  Telegrams b = ScansOf(5000, 5019, 3);
  b.erase(b.begin() + 30, b.begin() + 33);
  Telegrams mixed;
  for (size_t i = 0; i < a.size() || i < b.size(); ++i) {
    if (i < a.size()) mixed.push_back(a[i]);
    if (i < b.size()) mixed.push_back(b[i]);
  }
  Check(mixed, {0, 1, 0, 0, 0, 0, 0}, "telegram by telegram");
  // Scan by scan.
  mixed.clear();
  for (ptrdiff_t scan = 0; scan < 20; ++scan) {
    mixed.insert(mixed.end(), a.begin() + 3 * scan, a.begin() + 3 * scan + 3);
    const ptrdiff_t from = 3 * scan;
    const ptrdiff_t b_size = static_cast<ptrdiff_t>(b.size());
    if (from < b_size) mixed.insert(mixed.end(), b.begin() + from, b.begin() + std::min(from + 3, b_size));
  }
  Check(mixed, {0, 1, 0, 0, 0, 0, 0}, "scan by scan");
  // Five numberings at once, one more than are followed: the fifth's
  // telegrams are outliers, and the four others lose nothing.
  mixed.clear();
  for (uint32_t scan = 0; scan < 50; ++scan) {
    for (uint32_t source = 0; source < 5; ++source) Scans(&mixed, source * 1000000 + scan, source * 1000000 + scan, 2);
  }
  Check(mixed, {0, 0, 0, 0, 0, 0, 100}, "five numberings");
  // A run that has gone quiet is let go for a new one: here the scanner
  // restarts four times.
  mixed.clear();
  for (uint32_t start = 0; start < 5; ++start) Scans(&mixed, 1000 * (5 - start), 1000 * (5 - start) + 150, 2);
  Check(mixed, {0, 0, 0, 0, 0, 4, 0}, "four restarts");
}

TEST(SequenceCounter, NoCountEverWrapsWhateverComes) {
  // Random numbers of every kind: near ones, far ones, copies, wraps. No
  // count may run below 0 into 2^64, and the missing scans stay what
  // confirmed jumps can claim.
  std::mt19937 random(12345);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same run every time
  const auto counter = NewCounter();
  uint32_t scan = 0;
  for (int i = 0; i < 200000; ++i) {
    const uint32_t pick = random() % 100;
    uint32_t s = scan;
    if (pick < 60) {
      // The newest scan again.
    } else if (pick < 80) {
      s = scan = scan + 1;
    } else if (pick < 90) {
      s = scan - random() % 70;
    } else if (pick < 95) {
      s = scan + random() % 70;
    } else {
      s = static_cast<uint32_t>(random());
    }
    counter->Add(s, static_cast<uint16_t>(pick < 97 ? random() % 8 : random()));
    const tgr_sequence_counts c = counter->Counts();
    ASSERT_LT(c.missing_blocks, uint64_t{1} << 40) << i;
    ASSERT_LT(c.missing_scans, uint64_t{1} << 40) << i;
    ASSERT_LT(c.missing_tail_blocks, uint64_t{1} << 40) << i;
    ASSERT_LE(c.repeated + c.reordered + c.outliers, c.block_telegrams) << i;
  }
}

TEST(SequenceCounter, TheCInterfaceCountsEveryTelegramAndChecksItsStructs) {
  tgr::Sequence sequence;
  ASSERT_TRUE(sequence.ok());
  tgr::Telegram t;
  t.type = TGR_TYPE_BEAM_RANGE;
  EXPECT_EQ(sequence.Add(t), TGR_OK);
  t.type = TGR_TYPE_BLOCK_VALUES;
  t.scan_no = 1;
  EXPECT_EQ(sequence.Add(t), TGR_OK);
  t.block_no = 2;
  EXPECT_EQ(sequence.Add(t), TGR_OK);
  // The handle moves with its counts.
  tgr::Sequence moved = std::move(sequence);
  EXPECT_FALSE(sequence.ok());  // NOLINT(bugprone-use-after-move,clang-analyzer-cplusplus.Move): moved from, said so
  const tgr_sequence_counts c = moved.Counts();
  EXPECT_EQ(c.telegrams, 3u);
  EXPECT_EQ(c.block_telegrams, 2u);
  EXPECT_EQ(c.missing_blocks, 1u);
  EXPECT_EQ(tgr_sequence_add(nullptr, &t), TGR_E_ARGUMENT);
  // A struct without its size is refused, never read or filled.
  tgr_telegram unsized = {};
  unsized.type = TGR_TYPE_BLOCK_VALUES;
  tgr_sequence* handle = nullptr;
  ASSERT_EQ(tgr_sequence_open(&handle, nullptr, 0), TGR_OK);
  EXPECT_EQ(tgr_sequence_add(handle, &unsized), TGR_E_ARGUMENT);
  tgr_sequence_counts counts = {};
  EXPECT_EQ(tgr_sequence_counts_get(handle, &counts), TGR_E_ARGUMENT);
  // A caller built with a larger struct gets the fields it knows, the rest
  // zeroed.
  struct Larger {
    tgr_sequence_counts known;
    uint64_t later;
  } larger;
  memset(&larger, 0xAB, sizeof larger);
  larger.known.struct_size = sizeof larger;
  EXPECT_EQ(tgr_sequence_counts_get(handle, &larger.known), TGR_OK);
  EXPECT_EQ(larger.known.struct_size, sizeof larger);
  EXPECT_EQ(larger.known.telegrams, 0u);
  EXPECT_EQ(larger.later, 0u);
  EXPECT_EQ(tgr_sequence_close(handle, nullptr, 0), TGR_OK);
}

}  // namespace
