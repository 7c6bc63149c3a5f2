#include "sender/scan_source.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "telegram/telegram.h"
#include "telegram/telegram_layout.h"

namespace {

std::vector<std::vector<unsigned char>> Drain(ScanSource source) {
  std::vector<std::vector<unsigned char>> telegrams;
  SourceTelegram next = {};
  while (source.Next(&next) && telegrams.size() < 100) {
    EXPECT_EQ(next.due, kNotTimed);
    telegrams.emplace_back(next.bytes, next.bytes + next.size);
  }
  return telegrams;
}

}  // namespace

TEST(ScanSource, EachScanIsItsBeamRangeThenItsBlocksInOrder) {
  const std::vector<std::vector<unsigned char>> telegrams = Drain(ScanSource(ScanPlan{2, 2, 25, true, false, false}));
  ASSERT_EQ(telegrams.size(), 6u);
  const unsigned types[] = {1, 6, 6, 1, 6, 6};
  const unsigned blocks[] = {0, 0, 1, 0, 0, 1};
  const unsigned scan_nos[] = {0, 1, 1, 0, 2, 2};
  for (size_t i = 0; i < telegrams.size(); ++i) {
    const Telegram t = {telegrams[i].data(), telegrams[i].size()};
    EXPECT_EQ(TelegramType(t), types[i]) << i;
    if (types[i] == 1) {
      EXPECT_EQ(t.received, 46u);
      EXPECT_EQ(BeamStop(t), 2700);
      EXPECT_EQ(BeamStep(t), 10);
      continue;
    }
    EXPECT_EQ(t.received, 25u);
    EXPECT_EQ(TotalSize(t), 25u);
    EXPECT_EQ(BlockNo(t), blocks[i]) << i;
    EXPECT_EQ(ScanNo(t), scan_nos[i]) << i;
    ASSERT_EQ(BlockValueCount(t), 2u);
    EXPECT_EQ(BlockValue(t, 1), PatternValue(scan_nos[i], static_cast<uint16_t>(blocks[i]), 1));
    EXPECT_EQ(telegrams[i][24], 0) << "the odd last byte";
  }
}

TEST(ScanSource, SameValuesKeepEachScansNumber) {
  const std::vector<std::vector<unsigned char>> telegrams = Drain(ScanSource(ScanPlan{3, 1, 30, false, true, false}));
  ASSERT_EQ(telegrams.size(), 3u);
  for (uint32_t scan = 1; scan <= 3; ++scan) {
    const Telegram t = {telegrams[scan - 1].data(), telegrams[scan - 1].size()};
    EXPECT_EQ(ScanNo(t), scan);
    EXPECT_EQ(BlockValue(t, 4), PatternValue(1, 0, 4));
  }
}

TEST(ScanSource, ScansWithNothingInThemEndAtOnce) {
  EXPECT_TRUE(Drain(ScanSource(ScanPlan{1000000, 0, 60, false, false, false})).empty());
  EXPECT_TRUE(Drain(ScanSource(ScanPlan{0, 3, 60, true, false, false})).empty());
}

TEST(ScanSource, SmoothValuesStepByOneBetween1000And3000) {
  const std::vector<std::vector<unsigned char>> telegrams =
      Drain(ScanSource(ScanPlan{1, 1, static_cast<long>(kMaxDatagramSize), false, false, true}));
  ASSERT_EQ(telegrams.size(), 1u);
  const Telegram t = {telegrams[0].data(), telegrams[0].size()};
  ASSERT_EQ(BlockValueCount(t), 32743u);
  for (size_t i = 0; i < BlockValueCount(t); ++i) {
    ASSERT_GE(BlockValue(t, i), 1000) << i;
    ASSERT_LE(BlockValue(t, i), 3000) << i;
    if (i > 0) {
      ASSERT_EQ(std::abs(BlockValue(t, i) - BlockValue(t, i - 1)), 1) << i;
    }
  }
}
