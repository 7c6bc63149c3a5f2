// The blocks the plot reads through the library are the report reader's
// own, field for field and value for value once the text is made numbers,
// whatever the pieces; and nothing is begun before
// the banner.
#include "plot/block_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Blocks with a TotalSize below the header's (a negative size), a scan
// number from 2^31 on, an empty block 1, and a last block cut short in the
// middle of a value.
const std::string kReport =
    "Receiving datagrams...\n"
    "--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:7\t BlockNo:0\r\n\n1\t2\t65535\t"
    "--> Telegram Type: 1\r\nBeamCount : 271\t3\t46\t0\r\n"
    "--> Telegram Type: 6\r\nTotalSize: -12\t ScanNo:-2147483648\t BlockNo:1\r\n\n"
    "--> Telegram Type: 6\r\nTotalSize: 8\t ScanNo:8\t BlockNo:0\r\n\n9\t10\t1";

std::vector<ReportBlock> ByTheReader(const std::string& report) {
  ReportReader reader;
  std::vector<ReportBlock> blocks;
  EXPECT_TRUE(reader.Read(report.data(), report.size(), &blocks));
  EXPECT_TRUE(reader.End(&blocks));
  return blocks;
}

}  // namespace

TEST(BlockReader, GivesTheReportReadersBlocksFieldForField) {
  const std::vector<ReportBlock> expected = ByTheReader(kReport);
  ASSERT_EQ(expected.size(), 3u);
  ASSERT_TRUE(expected[2].cut_short);
  for (size_t piece : {size_t{1}, size_t{5}, kReport.size()}) {
    BlockReader reader;
    std::vector<ReportBlock> blocks;
    for (size_t at = 0; at < kReport.size(); at += piece) {
      ASSERT_TRUE(reader.Read(kReport.data() + at, std::min(piece, kReport.size() - at), &blocks)) << reader.error();
    }
    ASSERT_TRUE(reader.End(&blocks));
    ASSERT_EQ(blocks.size(), expected.size()) << piece;
    for (size_t i = 0; i < blocks.size(); ++i) {
      EXPECT_EQ(blocks[i].line, expected[i].line);
      EXPECT_EQ(blocks[i].telegram, expected[i].telegram);
      EXPECT_EQ(blocks[i].size, expected[i].size);
      EXPECT_EQ(blocks[i].scan_no, expected[i].scan_no);
      EXPECT_EQ(blocks[i].block_no, expected[i].block_no);
      std::vector<uint16_t> values;
      ParseValues(blocks[i].text, blocks[i].text_values, &values);
      EXPECT_EQ(values, expected[i].values);
      EXPECT_TRUE(blocks[i].values.empty()) << "the values stay text until asked for";
      EXPECT_TRUE(blocks[i].text.empty() || blocks[i].text.back() == '\t') << "no digits of a value cut off: " << i;
      EXPECT_EQ(blocks[i].cut_short, expected[i].cut_short) << i;
    }
    EXPECT_EQ(reader.telegrams(), 4);
    EXPECT_FALSE(reader.finished());
  }
}

TEST(BlockReader, BeginsAtTheBannerAndSaysWhereTheDamageIs) {
  BlockReader reader;
  std::vector<ReportBlock> blocks;
  ASSERT_TRUE(reader.Read("Receiving data", 14, &blocks));
  EXPECT_FALSE(reader.started()) << "the banner is not yet whole";
  ASSERT_TRUE(reader.Read("grams...\n", 9, &blocks));
  EXPECT_TRUE(reader.started());
  const std::string bad = "--> Telegram Type: 6\r\nabc\t\r\n";
  EXPECT_FALSE(reader.Read(bad.data(), bad.size(), &blocks));
  EXPECT_EQ(reader.error().rfind("line 3: expected ", 0), 0u) << reader.error();
  EXPECT_TRUE(blocks.empty());
}
