// The counter of sources through the C interface: each source's numbering
// apart, the bound and the others together, the totals, and what it
// refuses; and the counts added field by field.
#include <gtest/gtest.h>

#include <vector>

#include "library/source_sequences.h"
#include "telegram/telegram_writer.h"
#include "tgr/tgr.h"
#include "tgr/tgr.hpp"

namespace {

// A type-6 telegram of one value, decoded.
struct Block {
  Block(uint32_t scan, uint16_t block) : bytes(22 + 2) {
    WriteHeader(bytes.data(), static_cast<uint32_t>(bytes.size()), 6, block, scan);
    telegram = tgr::Telegram::Decode(bytes.data(), bytes.size());
  }
  std::vector<unsigned char> bytes;
  tgr::Telegram telegram;
};

TEST(SourceSequence, EachSourceIsANumberingOfItsOwnAndTheTotalsAddThemUp) {
  tgr_source_sequence* sequence = nullptr;
  ASSERT_EQ(tgr_source_sequence_open(0, &sequence, nullptr, 0), TGR_OK);
  // Two scanners on one port, interleaved, numbered far apart; the second
  // skips scan 505.
  for (uint32_t i = 0; i < 10; ++i) {
    const Block first(1 + i, 0);
    const Block second(500 + i, 0);
    ASSERT_EQ(tgr_source_sequence_add(sequence, 0x0A000001, 2112, &first.telegram), TGR_OK);
    if (i != 5) {
      ASSERT_EQ(tgr_source_sequence_add(sequence, 0x0A000002, 2112, &second.telegram), TGR_OK);
    }
  }
  ASSERT_EQ(tgr_source_sequence_entries(sequence), 2u);
  tgr_source_counts source = tgr::Sized<tgr_source_counts>();
  tgr_sequence_counts counts = tgr::Sized<tgr_sequence_counts>();
  ASSERT_EQ(tgr_source_sequence_get(sequence, 1, &source, &counts), TGR_OK);
  EXPECT_EQ(source.address, 0x0A000002u);
  EXPECT_EQ(source.port, 2112);
  EXPECT_EQ(source.others, 0);
  EXPECT_EQ(source.sources, 1u);
  EXPECT_EQ(source.telegrams, 9u);
  EXPECT_EQ(source.bytes, 9u * 24);
  EXPECT_EQ(counts.missing_scans, 1u);
  EXPECT_EQ(counts.outliers, 0u);
  ASSERT_EQ(tgr_source_sequence_get(sequence, 0, &source, &counts), TGR_OK);
  EXPECT_EQ(source.address, 0x0A000001u);
  EXPECT_EQ(counts.missing_scans, 0u);
  EXPECT_EQ(counts.restarts, 0u);
  ASSERT_EQ(tgr_source_sequence_totals(sequence, &source, &counts), TGR_OK);
  EXPECT_EQ(source.sources, 2u);
  EXPECT_EQ(source.telegrams, 19u);
  EXPECT_EQ(counts.telegrams, 19u);
  EXPECT_EQ(counts.missing_scans, 1u);
  // What it refuses.
  EXPECT_EQ(tgr_source_sequence_get(sequence, 2, &source, &counts), TGR_E_ARGUMENT);
  source.struct_size = 4;
  EXPECT_EQ(tgr_source_sequence_get(sequence, 0, &source, &counts), TGR_E_ARGUMENT);
  EXPECT_EQ(tgr_source_sequence_add(sequence, 1, 1, nullptr), TGR_E_ARGUMENT);
  const Block one(1, 0);
  EXPECT_EQ(tgr_source_sequence_add(nullptr, 1, 1, &one.telegram), TGR_E_ARGUMENT);
  EXPECT_EQ(tgr_source_sequence_entries(nullptr), 0u);
  EXPECT_EQ(tgr_source_sequence_close(sequence, nullptr, 0), TGR_OK);
  char words[128];
  tgr_source_sequence* refused = nullptr;
  EXPECT_EQ(tgr_source_sequence_open(TGR_MOST_SOURCES_APART + 1, &refused, words, sizeof words), TGR_E_ARGUMENT);
  EXPECT_STREQ(words, "at most 256 sources may be counted apart, not 257");
  EXPECT_EQ(refused, nullptr);
}

TEST(SourceSequence, SourcesBeyondTheBoundAreCountedTogetherWithNothingLost) {
  tgr::SourceSequence sequence(2);
  ASSERT_TRUE(sequence.ok());
  for (uint32_t scan = 1; scan <= 3; ++scan) {
    for (uint32_t s = 0; s < 5; ++s) ASSERT_EQ(sequence.Add(0x0A000000 + s, 2112, Block(scan, 0).telegram), TGR_OK);
  }
  ASSERT_EQ(sequence.entries(), 3u);
  tgr_sequence_counts counts;
  const tgr_source_counts first = sequence.Entry(0, &counts);
  EXPECT_EQ(first.address, 0x0A000000u);
  EXPECT_EQ(first.telegrams, 3u);
  EXPECT_EQ(counts.missing_scans, 0u);
  const tgr_source_counts others = sequence.Entry(2, &counts);
  EXPECT_EQ(others.others, 1);
  EXPECT_EQ(others.sources, 3u);
  EXPECT_EQ(others.at_least, 0);
  EXPECT_EQ(others.telegrams, 9u);
  EXPECT_EQ(counts.telegrams, 9u);
  const tgr_source_counts totals = sequence.Totals(&counts);
  EXPECT_EQ(totals.sources, 5u);
  EXPECT_EQ(totals.telegrams, 15u);
  EXPECT_EQ(counts.block_telegrams, 15u);
}

TEST(SourceSequence, AddingCountsAddsEveryField) {
  tgr_sequence_counts a = {};
  tgr_sequence_counts b = {};
  b.telegrams = 1;
  b.block_telegrams = 2;
  b.missing_blocks = 3;
  b.missing_scans = 4;
  b.missing_tail_blocks = 5;
  b.repeated = 6;
  b.reordered = 7;
  b.restarts = 8;
  b.outliers = 9;
  tgr::AddCounts(&a, b);
  tgr::AddCounts(&a, b);
  EXPECT_EQ(a.telegrams, 2u);
  EXPECT_EQ(a.block_telegrams, 4u);
  EXPECT_EQ(a.missing_blocks, 6u);
  EXPECT_EQ(a.missing_scans, 8u);
  EXPECT_EQ(a.missing_tail_blocks, 10u);
  EXPECT_EQ(a.repeated, 12u);
  EXPECT_EQ(a.reordered, 14u);
  EXPECT_EQ(a.restarts, 16u);
  EXPECT_EQ(a.outliers, 18u);
}

}  // namespace
