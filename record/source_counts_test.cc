// Each source's numbering counted apart: two scanners on one port each
// with their own gaps, never each other's; the bound on sources kept.
#include "record/source_counts.h"

#include <gtest/gtest.h>

#include <vector>

#include "telegram/telegram_writer.h"

namespace {

// A type-6 telegram of one value.
std::vector<unsigned char> Block(uint32_t scan, uint16_t block) {
  std::vector<unsigned char> bytes(22 + 2);
  WriteHeader(bytes.data(), static_cast<uint32_t>(bytes.size()), 6, block, scan);
  return bytes;
}

void Send(SourceCounts* counts, const SourceAddress& from, uint32_t scan, uint16_t block) {
  const std::vector<unsigned char> bytes = Block(scan, block);
  ASSERT_TRUE(counts->Add(from, bytes.data(), bytes.size()));
}

const SourceAddress kA{0x0A000001, 2112};
const SourceAddress kB{0x0A000002, 2112};

TEST(SourceCounts, TwoScannersOnOnePortAreCountedEachApart) {
  SourceCounts counts;
  // Interleaved telegram by telegram, numbered far apart; B skips scan 505.
  for (uint32_t i = 0; i < 10; ++i) {
    for (uint16_t block = 0; block < 2; ++block) {
      Send(&counts, kA, 1 + i, block);
      if (500 + i != 505) Send(&counts, kB, 500 + i, block);
    }
  }
  const std::vector<SourceNumbers> each = counts.Each();
  ASSERT_EQ(each.size(), 2u);
  EXPECT_EQ(each[0].source, kA);  // in the order they came
  EXPECT_EQ(each[0].telegrams, 20u);
  EXPECT_EQ(each[0].bytes, 20u * 24);
  EXPECT_EQ(each[0].sequence.missing_scans, 0u);
  EXPECT_EQ(each[0].sequence.restarts, 0u);
  EXPECT_EQ(each[0].sequence.outliers, 0u);
  EXPECT_EQ(each[1].source, kB);
  EXPECT_EQ(each[1].telegrams, 18u);
  EXPECT_EQ(each[1].sequence.missing_scans, 1u);
  EXPECT_EQ(each[1].sequence.outliers, 0u);
  const SourceNumbers totals = counts.Totals();
  EXPECT_EQ(totals.sources, 2u);
  EXPECT_EQ(totals.telegrams, 38u);
  EXPECT_EQ(totals.sequence.telegrams, 38u);
  EXPECT_EQ(totals.sequence.missing_scans, 1u);
  EXPECT_EQ(counts.sources(), 2u);
}

TEST(SourceCounts, OnePortOfOneAddressIsOneSourceAndAnotherPortAnother) {
  SourceCounts counts;
  Send(&counts, kA, 1, 0);
  Send(&counts, SourceAddress{kA.address, 2113}, 1, 0);
  Send(&counts, kA, 2, 0);
  ASSERT_EQ(counts.Each().size(), 2u);
  EXPECT_EQ(counts.Each()[0].telegrams, 2u);
  EXPECT_EQ(counts.Each()[0].sequence.repeated, 0u);
}

TEST(SourceCounts, SourcesBeyondTheBoundAreCountedTogetherWithNothingLost) {
  SourceCounts counts;
  const uint32_t sources = SourceCounts::kMostApart + 4;
  for (uint32_t scan = 1; scan <= 3; ++scan) {
    for (uint32_t s = 0; s < sources; ++s) Send(&counts, SourceAddress{0x0A000000 + s, 2112}, scan, 0);
  }
  const std::vector<SourceNumbers> each = counts.Each();
  ASSERT_EQ(each.size(), SourceCounts::kMostApart + 1);
  EXPECT_FALSE(each[0].others);
  EXPECT_EQ(each[0].telegrams, 3u);
  const SourceNumbers& others = each.back();
  EXPECT_TRUE(others.others);
  EXPECT_EQ(others.sources, 4u);
  EXPECT_FALSE(others.at_least);
  EXPECT_EQ(others.telegrams, 12u);
  EXPECT_EQ(counts.sources(), sources);
  EXPECT_EQ(counts.Totals().telegrams, 3u * sources);
}

}  // namespace
