// The sequence counts on crafted runs: each count says what the numbers
// show and no more.
#include "library/sequence_counter.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tgr/tgr.hpp"

namespace {

struct Expected {
  uint64_t missing_blocks, missing_scans, missing_tail_blocks, repeated, reordered, restarts;
};

void Check(const std::vector<std::pair<uint32_t, uint16_t>>& run, Expected e) {
  tgr::SequenceCounter counter;
  for (const auto& telegram : run) counter.Add(telegram.first, telegram.second);
  const tgr_sequence_counts c = counter.Counts();
  EXPECT_EQ(c.telegrams, run.size());
  EXPECT_EQ(c.missing_blocks, e.missing_blocks) << "missing blocks";
  EXPECT_EQ(c.missing_scans, e.missing_scans) << "missing scans";
  EXPECT_EQ(c.missing_tail_blocks, e.missing_tail_blocks) << "missing tail blocks";
  EXPECT_EQ(c.repeated, e.repeated) << "repeated";
  EXPECT_EQ(c.reordered, e.reordered) << "reordered";
  EXPECT_EQ(c.restarts, e.restarts) << "restarts";
}

TEST(SequenceCounter, GapsAreCountedWhereTheNumbersShowThem) {
  // Whole scans: nothing.
  Check({{1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}, {2, 2}}, {0, 0, 0, 0, 0, 0});
  // A block lost in the middle, and one at the start of the next scan.
  Check({{1, 0}, {1, 1}, {1, 3}, {2, 1}, {2, 2}, {2, 3}}, {2, 0, 0, 0, 0, 0});
  // Two scans lost whole: their blocks are not guessed.
  Check({{1, 0}, {1, 1}, {4, 0}, {4, 1}}, {0, 2, 0, 0, 0, 0});
  // A scan's last blocks lost: only inferred, from the other scans, and the
  // newest scan's tail is never claimed (more may come).
  Check({{1, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 0}, {2, 1}, {3, 0}}, {0, 0, 2, 0, 0, 0});
  // The run starts in the middle of a scan: the blocks before it are not lost.
  Check({{7, 2}, {7, 3}, {8, 0}}, {0, 0, 0, 0, 0, 0});
  // The scan number wraps round.
  Check({{0xFFFFFFFFu, 0}, {0, 0}, {1, 0}}, {0, 0, 0, 0, 0, 0});
  Check({{0xFFFFFFFEu, 0}, {1, 0}}, {0, 2, 0, 0, 0, 0});
}

TEST(SequenceCounter, LateTelegramsTakeBackWhatWasCounted) {
  // A block that comes after a later one of its scan fills its gap.
  Check({{1, 0}, {1, 2}, {1, 1}}, {0, 0, 0, 0, 1, 0});
  // A scan counted skipped comes late, with the blocks below its first.
  // (Its block 1 shows scans have two blocks at least: scan 1's second is
  // inferred missing.)
  Check({{1, 0}, {3, 0}, {2, 1}}, {1, 0, 1, 0, 1, 0});
  // A late block of an earlier scan, above what it had: a certain gap now.
  Check({{1, 0}, {2, 0}, {1, 3}}, {2, 0, 0, 0, 1, 0});
  // Before the run's first block of its first scan, or its first scan: late,
  // nothing to take back.
  Check({{5, 2}, {5, 0}}, {0, 0, 0, 0, 1, 0});
  Check({{5, 0}, {6, 0}, {4, 3}}, {0, 0, 3, 0, 1, 0});
  // The same block again.
  Check({{1, 0}, {1, 1}, {1, 1}, {2, 0}, {1, 0}}, {0, 0, 0, 2, 0, 0});
}

TEST(SequenceCounter, ARunThatStartsAgainClaimsNothingAcrossIt) {
  // The scanner restarted: back to scan 1 from far ahead. The last scan
  // before it may have been cut by the restart: its tail is not claimed.
  Check({{500, 0}, {500, 1}, {501, 0}, {1, 0}, {1, 1}, {2, 0}}, {0, 0, 0, 0, 0, 1});
  // A jump forward beyond the view, then a telegram from before it.
  Check({{1, 0}, {1, 1}, {100, 0}, {2, 0}}, {0, 98, 0, 0, 0, 1});
  Check({{1, 0}, {1, 1}, {2, 0}, {100, 0}, {100, 1}, {2, 0}}, {0, 97, 1, 0, 0, 1});
}

TEST(SequenceCounter, ViewIsBoundedAndTailsLeaveItCounted) {
  // A thousand scans of four blocks, each missing its last: 999 tails
  // inferred (the newest is not claimed), whatever left the view; the run
  // starts at scan 0's last block.
  std::vector<std::pair<uint32_t, uint16_t>> run = {{0, 3}};
  for (uint32_t scan = 1; scan <= 1000; ++scan) {
    for (uint16_t block = 0; block < 3; ++block) run.emplace_back(scan, block);
  }
  Check(run, {0, 0, 999, 0, 0, 0});
  // Block numbers up to the last of 65536.
  Check({{1, 65535}, {2, 0}, {2, 65535}}, {65534, 0, 0, 0, 0, 0});
}

TEST(SequenceCounter, TheCInterfaceCountsOnlyBlockTelegrams) {
  tgr::Sequence sequence;
  ASSERT_TRUE(sequence.ok());
  tgr_telegram t = {};
  t.type = TGR_TYPE_BEAM_RANGE;
  EXPECT_EQ(sequence.Add(t), TGR_OK);
  t.type = TGR_TYPE_BLOCK_VALUES;
  t.scan_no = 1;
  EXPECT_EQ(sequence.Add(t), TGR_OK);
  t.block_no = 2;
  EXPECT_EQ(sequence.Add(t), TGR_OK);
  // The handle moves with its counts.
  tgr::Sequence moved = std::move(sequence);
  const tgr_sequence_counts c = moved.Counts();
  EXPECT_EQ(c.telegrams, 2u);
  EXPECT_EQ(c.missing_blocks, 1u);
  EXPECT_EQ(tgr_sequence_add(nullptr, &t), TGR_E_ARGUMENT);
}

}  // namespace
