// Reports read back through the C interface: the blocks the receiver
// printed, in pieces of any size, and the words of a damaged report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tgr/tgr.h"
#include "tgr/tgr.hpp"

namespace {

// The receiver's report of a type-1 telegram and of blocks 0 and 1 of scan
// 7 with three values, then its closing lines.
const std::string kReport =
    "Receiving datagrams...\n"
    "--> Telegram Type: 1\r\nBeamCount : 271\t3\t46\t0\r\n"
    "--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:7\t BlockNo:0\r\n\n1\t2\t65535\t"
    "--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:-2147483648\t BlockNo:1\r\n\n4\t5\t6\t"
    "--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:7\t BlockNo:2\r\n"
    "Finished receiving. Closing socket.\nExiting.\n";

TEST(ReportReaderApi, TheBlocksComeWhateverThePieces) {
  for (size_t piece : {size_t{1}, size_t{7}, kReport.size()}) {
    tgr_report_reader* reader = nullptr;
    tgr_report_reader_open(&reader, nullptr, 0);
    ASSERT_NE(reader, nullptr);
    std::vector<std::vector<uint16_t>> values;
    std::vector<tgr_report_block> blocks;
    auto take = [&] {
      tgr_report_block block = tgr::Sized<tgr_report_block>();
      while (tgr_report_reader_next(reader, &block) == TGR_OK) {
        values.emplace_back(block.values, block.values + block.value_count);
        blocks.push_back(block);
      }
    };
    for (size_t at = 0; at < kReport.size(); at += piece) {
      ASSERT_EQ(tgr_report_reader_feed(reader, kReport.data() + at, std::min(piece, kReport.size() - at)), TGR_OK)
          << tgr_report_reader_error(reader);
      take();
    }
    ASSERT_EQ(tgr_report_reader_end(reader), TGR_OK);
    take();
    ASSERT_EQ(blocks.size(), 2u) << piece;
    EXPECT_EQ(values[0], (std::vector<uint16_t>{1, 2, 65535}));
    EXPECT_EQ(values[1], (std::vector<uint16_t>{4, 5, 6}));
    EXPECT_EQ(blocks[0].line, 5u);
    EXPECT_EQ(blocks[0].telegram, 2u);
    EXPECT_EQ(blocks[0].size, 6);
    EXPECT_EQ(blocks[0].scan_no, 7);
    EXPECT_EQ(blocks[1].scan_no, -2147483648LL);
    EXPECT_EQ(blocks[1].block_no, 1);
    EXPECT_EQ(blocks[1].cut_short, 0);
    EXPECT_EQ(tgr_report_reader_telegrams(reader), 4u);
    EXPECT_EQ(tgr_report_reader_finished(reader), 1);
    tgr_report_reader_close(reader, nullptr, 0);
  }
}

TEST(ReportReaderApi, ADamagedReportIsNamedByItsLine) {
  tgr_report_reader* reader = nullptr;
  tgr_report_reader_open(&reader, nullptr, 0);
  const std::string bad = "Receiving datagrams...\n--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:7\t BlockNo:0\r\n\n1\t2x";
  EXPECT_EQ(tgr_report_reader_feed(reader, bad.data(), bad.size()), TGR_E_DAMAGED);
  EXPECT_EQ(std::string(tgr_report_reader_error(reader)),
            "line 5: expected a tab after each block value, found '2x'");
  EXPECT_EQ(tgr_report_reader_feed(reader, "\t", 1), TGR_E_DAMAGED) << "for good";
  tgr_report_reader_close(reader, nullptr, 0);

  // Cut inside a block's values: given, and said cut short.
  reader = nullptr;
  tgr_report_reader_open(&reader, nullptr, 0);
  const std::string cut = "Receiving datagrams...\n--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:7\t BlockNo:0\r\n\n1\t2\t";
  ASSERT_EQ(tgr_report_reader_feed(reader, cut.data(), cut.size()), TGR_OK);
  ASSERT_EQ(tgr_report_reader_end(reader), TGR_OK);
  tgr_report_block block = tgr::Sized<tgr_report_block>();
  ASSERT_EQ(tgr_report_reader_next(reader, &block), TGR_OK);
  EXPECT_EQ(block.cut_short, 1);
  EXPECT_EQ(block.value_count, 2u);
  EXPECT_EQ(tgr_report_reader_next(reader, &block), TGR_E_END);
  tgr_report_reader_close(reader, nullptr, 0);

  // Nothing at all is no report.
  reader = nullptr;
  tgr_report_reader_open(&reader, nullptr, 0);
  EXPECT_EQ(tgr_report_reader_end(reader), TGR_E_DAMAGED);
  EXPECT_EQ(std::string(tgr_report_reader_error(reader)),
            "line 1: expected the banner 'Receiving datagrams...', found nothing");
  tgr_report_reader_close(reader, nullptr, 0);
}

}  // namespace

namespace {

// Values passed on as text, for a program that wants the numbers of some
// blocks alone, and made numbers on request, with their damage said.
TEST(ReportReaderApi, ValuesAsTextAreParsedOnRequest) {
  tgr::ReportReader reader;
  ASSERT_EQ(reader.ValuesAsText(), TGR_OK);
  ASSERT_EQ(reader.Feed(kReport.data(), kReport.size()), TGR_OK) << reader.error();
  EXPECT_EQ(reader.ValuesAsText(), TGR_E_ARGUMENT) << "not once the reading has begun";
  tgr_report_block block = tgr::Sized<tgr_report_block>();
  ASSERT_EQ(reader.Next(&block), TGR_OK);
  EXPECT_EQ(block.values, nullptr);
  EXPECT_EQ(block.value_count, 3u);
  ASSERT_NE(block.values_text, nullptr);
  EXPECT_EQ(std::string(block.values_text, block.values_text_size), "1\t2\t65535\t");
  uint16_t out[4] = {};
  size_t count = 0;
  size_t at = 99;
  EXPECT_EQ(tgr_report_values_parse(block.values_text, block.values_text_size, out, 4, &count, &at), TGR_OK);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(at, block.values_text_size);
  EXPECT_EQ(std::vector<uint16_t>(out, out + 3), (std::vector<uint16_t>{1, 2, 65535}));
  EXPECT_EQ(tgr_report_values_parse(block.values_text, block.values_text_size, out, 2, &count, &at), TGR_E_SPACE);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(at, 4u);
  const std::string damaged = "1\t65536\t3\t";
  EXPECT_EQ(tgr_report_values_parse(damaged.data(), damaged.size(), out, 4, &count, &at), TGR_E_DAMAGED);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(at, 2u);
  const std::string cut = "1\t2\t3";
  EXPECT_EQ(tgr_report_values_parse(cut.data(), cut.size(), out, 4, &count, nullptr), TGR_OK);
  EXPECT_EQ(count, 2u) << "digits with no tab after them are no value";
  EXPECT_EQ(tgr_report_values_parse(nullptr, 3, out, 4, &count, nullptr), TGR_E_ARGUMENT);
}

}  // namespace
