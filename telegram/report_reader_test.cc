#include "telegram/report_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "telegram/report_capture_test_util.h"
#include "telegram/report_format.h"
#include "telegram/telegram_report.h"
#include "telegram/telegram_writer.h"
#include "telegram/value_text.h"

namespace {

std::vector<unsigned char> Block(uint32_t total_size, uint32_t scan, uint16_t block, size_t values) {
  std::vector<unsigned char> bytes(kHeaderSize + 2 * values, 0);
  WriteHeader(bytes.data(), total_size, 6, block, scan);
  for (size_t i = 0; i < values; ++i) PutU16(&bytes[kHeaderSize + 2 * i], static_cast<uint16_t>(i * 4099 + scan));
  return bytes;
}

std::vector<unsigned char> Other(uint16_t type) {
  std::vector<unsigned char> bytes(46, 0);
  if (type == 1) {
    WriteBeamTelegram(bytes.data(), 0, 2700, 10, 3, 1);
  } else {
    WriteHeader(bytes.data(), 46, type, 0, 0);
  }
  return bytes;
}

// A report as the receiver writes it, of these telegrams.
std::string Report(const std::vector<std::vector<unsigned char>>& telegrams, bool closing = true) {
  std::string report = kBannerLine;
  for (const auto& t : telegrams) report += RenderReport(FormatTelegram, t);
  if (closing) report += std::string(kClosingLine) + kExitLine;
  return report;
}

// As a Windows text stream writes it.
std::string Windows(const std::string& report) {
  std::string written;
  for (char c : report) {
    if (c == '\n') written += '\r';
    written += c;
  }
  return written;
}

struct Read {
  bool ok;
  std::vector<ReportBlock> blocks;
  ReportReader reader;
};

// Reads `report` in pieces of `piece` bytes; with `as_text`, each block's
// values as printed.
Read ReadAll(const std::string& report, size_t piece = 1 << 20, bool as_text = false) {
  Read read;
  if (as_text) read.reader.TakeValuesAsText();
  read.ok = true;
  for (size_t at = 0; at < report.size() && read.ok; at += piece) {
    read.ok = read.reader.Read(report.data() + at, std::min(piece, report.size() - at), &read.blocks);
  }
  if (read.ok) read.ok = read.reader.End(&read.blocks);
  return read;
}

}  // namespace

TEST(ReportReader, ReadsTheBlocksOfAReportWhateverItsLineEndsAndPieces) {
  const std::vector<std::vector<unsigned char>> telegrams = {
      Other(1), Block(26, 42, 0, 3), Block(20, 43, 1, 0), Block(1420, 44, 2, 700), Other(9),
      Block(65507, 45, 1, 32743), Block(25, 0x80000000u, 0, 2), Other(6), Other(0)};
  const std::string report = Report(telegrams);
  for (const std::string& text : {report, Windows(report)}) {
    for (size_t piece : {size_t{1}, size_t{7}, size_t{1} << 20}) {
      const Read read = ReadAll(text, piece);
      ASSERT_TRUE(read.ok) << read.reader.error();
      EXPECT_TRUE(read.reader.finished());
      EXPECT_EQ(read.reader.telegrams(), 9);
      // The blocks 0 and 1, each with its values; the last, a type-6
      // telegram of 46 bytes made by Other, is a block 0 of 13 zeros.
      ASSERT_EQ(read.blocks.size(), 5u) << "piece " << piece;
      EXPECT_EQ(read.blocks[0].scan_no, 42);
      EXPECT_EQ(read.blocks[0].size, 6);
      EXPECT_EQ(read.blocks[0].telegram, 2);
      EXPECT_EQ(read.blocks[0].line, 5) << "its TotalSize line";
      EXPECT_EQ(read.blocks[0].values, (std::vector<uint16_t>{42, 4141, 8240}));
      EXPECT_TRUE(read.blocks[1].values.empty());
      EXPECT_EQ(read.blocks[2].block_no, 1);
      ASSERT_EQ(read.blocks[2].values.size(), 32743u);
      EXPECT_EQ(read.blocks[2].values[32742], static_cast<uint16_t>(32742 * 4099 + 45));
      EXPECT_EQ(read.blocks[3].scan_no, -2147483648LL);
      EXPECT_EQ(read.blocks[3].values.size(), 2u);
      EXPECT_EQ(read.blocks[4].telegram, 8);
      for (const ReportBlock& block : read.blocks) EXPECT_FALSE(block.cut_short);
    }
  }
}

TEST(ReportReader, AReportCutShortIsReadAsFarAsItGoes) {
  const std::string report = Report({Block(1420, 1, 0, 700), Block(40, 2, 1, 10)}, false);
  // An interrupted receiver: no closing lines, every value there.
  Read read = ReadAll(report);
  ASSERT_TRUE(read.ok) << read.reader.error();
  EXPECT_FALSE(read.reader.finished());
  ASSERT_EQ(read.blocks.size(), 2u);
  EXPECT_EQ(read.blocks[1].values.size(), 10u);
  EXPECT_FALSE(read.blocks[1].cut_short);
  // Cut after a value's tab, and inside a value.
  const size_t last_tab = report.rfind('\t', report.size() - 2);
  for (size_t cut : {last_tab + 1, last_tab + 2}) {
    read = ReadAll(report.substr(0, cut));
    ASSERT_TRUE(read.ok) << read.reader.error();
    ASSERT_EQ(read.blocks.size(), 2u);
    EXPECT_EQ(read.blocks[1].values.size(), 9u) << "a value without its tab is not taken";
    EXPECT_TRUE(read.blocks[1].cut_short);
    EXPECT_FALSE(read.blocks[0].cut_short);
  }
  // Cut inside a line: what came before stands.
  read = ReadAll(report.substr(0, report.find("TotalSize: 20")));
  ASSERT_TRUE(read.ok) << read.reader.error();
  EXPECT_EQ(read.blocks.size(), 1u);
  // Two runs, one after the other in the same file, the second of the same
  // scan and block: both are read.
  read = ReadAll(Report({Block(26, 1, 0, 3)}) + Report({Block(26, 1, 0, 3)}));
  ASSERT_TRUE(read.ok) << read.reader.error();
  ASSERT_EQ(read.blocks.size(), 2u);
  EXPECT_EQ(read.blocks[1].scan_no, 1);
  EXPECT_EQ(read.blocks[1].values.size(), 3u);
  EXPECT_TRUE(read.reader.finished());
}

TEST(ReportReader, WhatIsNoReportIsSaidWithItsLine) {
  const std::string report = Report({Other(1), Block(26, 1, 0, 3)});
  std::string bad_value = report;
  bad_value.replace(bad_value.find("\n\n") + 2, 1, "x");
  std::string big_value = report;
  big_value.insert(big_value.find("\n\n") + 2, "99999");
  std::string no_beam_count = report;
  no_beam_count.erase(no_beam_count.find("BeamCount"), no_beam_count.find("--> Telegram Type: 6") -
                                                           no_beam_count.find("BeamCount"));
  const struct {
    const char* name;
    std::string text;
    const char* error;
  } cases[] = {
      {"empty", "", "line 1: expected the banner 'Receiving datagrams...', found nothing"},
      {"binary", std::string("\x7f" "ELF\x02\x01\x01\x00\n", 9), "line 1: expected the banner"},
      {"another text", "Hello\nworld\n", "line 1: expected the banner 'Receiving datagrams...', found 'Hello'"},
      {"a damaged type line", std::string(kBannerLine) + "--> Telegram Typo: 6\r\n",
       "line 2: expected a type line ('--> Telegram Type: N'), the error line or the closing lines, found "
       "'--> Telegram Typo: 6'"},
      {"a type out of range", std::string(kBannerLine) + "--> Telegram Type: 65536\r\n", "line 2: expected a type"},
      {"no beam count", no_beam_count, "line 3: expected the line 'BeamCount : ...'"},
      {"a value that is no number", bad_value,
       "line 7: expected a type line ('--> Telegram Type: N'), the error line or the closing lines, found "
       "'x\\t4100\\t8199\\tFinished receiving. Closing ...'"},
      {"a value too large", big_value, "line 7: expected block values from 0 to 65535, each followed by a tab"},
      {"a value without its tab", std::string(kBannerLine) + "--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:1\t "
                                  "BlockNo:0\r\n\n12--> Telegram Type: 3\r\n",
       "line 5: expected a tab after each block value, found '12-'"},
      {"a line too long", std::string(kBannerLine) + std::string(300, 'a'), "line 2: expected a report line"},
  };
  for (const auto& c : cases) {
    const Read read = ReadAll(c.text);
    EXPECT_FALSE(read.ok) << c.name;
    EXPECT_EQ(read.reader.error().compare(0, strlen(c.error), c.error), 0) << c.name << ": " << read.reader.error();
  }
}

// The same input read whole and a byte at a time gives the same blocks and,
// where it is no report, the same words. A block whose values are all there
// goes out at its last value, before anything after it is judged.
TEST(ReportReader, TheWordsOfAnErrorDoNotDependOnThePieces) {
  const std::string start = std::string(kBannerLine) + "--> Telegram Type: 6\r\nTotalSize: 10\t ScanNo:1\t BlockNo:0\r\n\n";
  const struct {
    const char* values;
    const char* error;
  } cases[] = {
      {"7\t829102\t", "line 5: expected block values from 0 to 65535, each followed by a tab, found '829102'"},
      {"7\t82910\t", "line 5: expected block values from 0 to 65535, each followed by a tab, found '82910'"},
      {"65536\t", "line 5: expected block values from 0 to 65535, each followed by a tab, found '65536'"},
      {"12-", "line 5: expected a tab after each block value, found '12-'"},
      {"1\t2\t3\t4\t5\t6\t", "line 5: expected no more than the 5 block values its TotalSize line gives room "
                             "for, found '6'"},
  };
  for (const auto& c : cases) {
    const std::string text = start + c.values + "--> Telegram Type: 3\r\n";
    for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{1} << 20}) {
      const Read read = ReadAll(text, piece);
      EXPECT_FALSE(read.ok) << c.values << ", piece " << piece;
      EXPECT_EQ(read.reader.error(), c.error) << c.values << ", piece " << piece;
      // Only the block with five values, whole before the sixth.
      EXPECT_EQ(read.blocks.size(), std::string(c.values).size() == 12 ? 1u : 0u) << c.values << ", piece " << piece;
    }
  }
}

// The receiver prints no more values than TotalSize gives room for, nor
// more than the largest datagram holds; a block with more is damage, and
// a value out of range inside a run is too.
TEST(ReportReader, ValuesBeyondWhatTheBlockHoldsAreDamage) {
  const std::string report = Report({Block(26, 1, 0, 3), Other(1)});
  std::string one_more = report;
  one_more.insert(one_more.find("--> Telegram Type: 1"), "5\t");
  std::string out_of_range = report;
  out_of_range.replace(out_of_range.find('\t', out_of_range.find("\n\n")) + 1, 4, "70000");
  // A TotalSize below 20 gives room for none; one of 2^31 + 20 or more for
  // as many as the largest datagram holds.
  const std::string below_20 = std::string(kBannerLine) + "--> Telegram Type: 6\r\nTotalSize: -10\t ScanNo:1\t "
                               "BlockNo:1\r\n\n1\t--> Telegram Type: 3\r\n";
  std::string largest = std::string(kBannerLine) + "--> Telegram Type: 6\r\nTotalSize: -2147483648\t ScanNo:1\t "
                        "BlockNo:1\r\n\n";
  for (int i = 0; i < 32743; ++i) largest += "9\t";
  const std::string beyond_largest = largest + "9\t";
  for (size_t piece : {size_t{1}, size_t{1} << 20}) {
    Read read = ReadAll(one_more, piece);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.reader.error(), "line 5: expected no more than the 3 block values its TotalSize line gives room "
                                 "for, found '5'");
    read = ReadAll(out_of_range, piece);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.reader.error().compare(0, 55, "line 5: expected block values from 0 to 65535, each fol"), 0)
        << read.reader.error();
    read = ReadAll(below_20, piece);
    EXPECT_FALSE(read.ok);
    EXPECT_NE(read.reader.error().find("no more than the 0 block values"), std::string::npos) << read.reader.error();
    read = ReadAll(largest, piece);
    ASSERT_TRUE(read.ok) << read.reader.error();
    ASSERT_EQ(read.blocks.size(), 1u);
    EXPECT_EQ(read.blocks[0].values.size(), 32743u);
    EXPECT_FALSE(read.blocks[0].cut_short);
    read = ReadAll(beyond_largest, piece);
    EXPECT_FALSE(read.ok);
    EXPECT_NE(read.reader.error().find("no more than the 32743 block values"), std::string::npos) << read.reader.error();
  }
}

TEST(ReportReader, AnOddSizedBlockWithAllItsValuesIsNotCutShort) {
  // TotalSize 25: two values, the last byte belongs to none.
  const std::string report = Report({Block(25, 1, 0, 2)}, false);
  const Read read = ReadAll(report);
  ASSERT_TRUE(read.ok) << read.reader.error();
  ASSERT_EQ(read.blocks.size(), 1u);
  EXPECT_EQ(read.blocks[0].values.size(), 2u);
  EXPECT_FALSE(read.blocks[0].cut_short);
}

// A block header costs no room for values it may never get: the input that
// names a block of the largest size takes no more memory than it holds.
TEST(ReportReader, ABlockHeaderReservesNothing) {
  ReportReader reader;
  std::vector<ReportBlock> blocks;
  const std::string text = std::string(kBannerLine) + "--> Telegram Type: 6\r\nTotalSize: 65487\t ScanNo:1\t "
                           "BlockNo:0\r\n\n";
  ASSERT_TRUE(reader.Read(text.data(), text.size(), &blocks)) << reader.error();
  EXPECT_EQ(reader.room_for_values(), 0u);
}

// A report cut anywhere is the start of a report: every cut of one reads,
// with either line ends. What is no report stays damaged on the last line
// as much as in the middle.
TEST(ReportReader, TheLastLineCutShortIsReadAndGarbageOnItIsDamage) {
  const std::string report = Report({Other(1), Other(3), Block(26, 1, 0, 3), Block(26, 1, 2, 3)}) +
                             Report({Block(26, 2, 0, 3)}, false);
  for (const std::string& text : {report, Windows(report)}) {
    for (size_t cut = 1; cut <= text.size(); ++cut) {
      const Read read = ReadAll(text.substr(0, cut));
      EXPECT_TRUE(read.ok) << "cut at " << cut << ": " << read.reader.error();
    }
  }
  const std::string whole = Report({Block(26, 1, 0, 3)});
  const std::string run = whole.substr(0, whole.find(kClosingLine));
  const struct {
    const char* name;
    std::string text;
    const char* error;
  } cases[] = {
      {"garbage after the values", run + "abc\t",
       "line 5: expected a type line ('--> Telegram Type: N'), the error line or the closing lines, found 'abc\\t'"},
      {"a type line gone wrong", run + "--> Telegram Typo", "line 5: expected a type line"},
      {"a type too long", run + "--> Telegram Type: 12345678901", "line 5: expected a type line"},
      {"a six-digit value", run.substr(0, run.size() - 2) + "123456",
       "line 5: expected block values from 0 to 65535, each followed by a tab"},
      {"garbage for a block line", std::string(kBannerLine) + "--> Telegram Type: 6\r\nTotal-",
       "line 3: expected the line 'TotalSize: ...' of the type-6 telegram before it, found 'Total-'"},
      {"garbage for a beam count", std::string(kBannerLine) + "--> Telegram Type: 1\r\nBeamCount : 1\tx",
       "line 3: expected the line 'BeamCount : ...'"},
      {"no empty line before values", std::string(kBannerLine) + "--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:1\t "
                                      "BlockNo:0\r\nx",
       "line 4: expected the empty line before the values of a block 0 or 1, found 'x'"},
      {"garbage for the exit line", whole.substr(0, whole.find(kExitLine)) + "Exit!",
       "line 6: expected the line 'Exiting.', found 'Exit!'"},
      {"garbage after the run", whole + "Receiving datagrams!",
       "line 7: expected nothing after 'Exiting.' but another run's banner"},
      {"garbage for the banner", "Receiving data!", "line 1: expected the banner"},
  };
  for (const auto& c : cases) {
    // Whole, and a byte at a time: a value split anywhere is judged alike.
    for (const std::string& text : {c.text, Windows(c.text)}) {
      for (const size_t piece : {size_t{1} << 20, size_t{1}}) {
        const Read read = ReadAll(text, piece);
        EXPECT_FALSE(read.ok) << c.name << " in pieces of " << piece;
        EXPECT_EQ(read.reader.error().compare(0, strlen(c.error), c.error), 0)
            << c.name << " in pieces of " << piece << ": " << read.reader.error();
      }
    }
  }
  // A report that ends in a six-digit value is damaged, not cut short in
  // its values: however it came, nothing of the block is given as whole.
  for (const size_t piece : {size_t{1} << 20, size_t{1}, size_t{3}}) {
    const Read read = ReadAll(run.substr(0, run.size() - 2) + "123456", piece);
    EXPECT_FALSE(read.ok) << piece;
    const std::string said = "line 5: expected block values from 0 to 65535, each followed by a tab, found '";
    EXPECT_EQ(read.reader.error().compare(0, said.size(), said), 0) << piece << ": " << read.reader.error();
  }
  // A second run begun is not finished, whatever the first was.
  Read read = ReadAll(whole + kBannerLine + "--> Telegram Type: 3\r\n");
  ASSERT_TRUE(read.ok) << read.reader.error();
  EXPECT_FALSE(read.reader.finished());
  EXPECT_EQ(read.reader.telegrams(), 2);
}

// Runs appended to one file (telegram-receiver >> FILE, twice): a run
// stopped by Ctrl-C, after a whole telegram and with no closing lines, then
// another. Both are read, in every piece size and with either line ends.
TEST(ReportReader, ARunStoppedThenAnotherReadAsTwoRuns) {
  const std::string stopped = Report({Block(26, 1, 0, 3), Other(1), Block(26, 2, 1, 3)}, false);
  const std::string appended = stopped + Report({Block(26, 1, 0, 3), Other(3)}) + Report({Block(26, 9, 0, 3)}, false);
  for (const std::string& text : {appended, Windows(appended)}) {
    for (const size_t piece : {size_t{1} << 20, size_t{1}, size_t{7}}) {
      const Read read = ReadAll(text, piece);
      ASSERT_TRUE(read.ok) << piece << ": " << read.reader.error();
      ASSERT_EQ(read.blocks.size(), 4u) << piece;
      EXPECT_EQ(read.blocks[0].scan_no, 1);
      EXPECT_EQ(read.blocks[1].scan_no, 2);
      EXPECT_EQ(read.blocks[2].scan_no, 1) << "the second run's first block";
      EXPECT_EQ(read.blocks[3].scan_no, 9) << "the third run's";
      EXPECT_EQ(read.blocks[2].telegram, 4) << "telegrams counted on across the runs";
      EXPECT_EQ(read.reader.telegrams(), 6);
      EXPECT_FALSE(read.reader.finished()) << "the last run has no closing lines";
      for (const ReportBlock& block : read.blocks) EXPECT_FALSE(block.cut_short);
    }
  }
  const Read whole = ReadAll(stopped + Report({Block(26, 1, 0, 3)}));
  ASSERT_TRUE(whole.ok) << whole.reader.error();
  EXPECT_TRUE(whole.reader.finished()) << "the last run ended with its closing lines";
  // A banner is a run's start: not in the middle of a telegram's lines.
  const Read broken = ReadAll(std::string(kBannerLine) + "--> Telegram Type: 6\r\n" + kBannerLine);
  EXPECT_FALSE(broken.ok);
}

// Every value from 0 to 65535, of every length, in blocks of the largest
// size, read whole and in pieces that split values anywhere.
TEST(ReportReader, EveryValueIsReadExactlyHoweverTheReportIsSplit) {
  std::string report = kBannerLine;
  std::vector<uint16_t> expected;
  for (uint32_t first = 0; first < 65536; first += 32743) {
    report += "--> Telegram Type: 6\r\nTotalSize: 65486\t ScanNo:1\t BlockNo:0\r\n\n";
    for (uint32_t v = first; v < first + 32743 && v < 65536; ++v) {
      // Each value once, in an order that mixes the lengths.
      const uint16_t value = static_cast<uint16_t>(v * 40503u);
      report += std::to_string(value) + "\t";
      expected.push_back(value);
    }
  }
  report += "--> Telegram Type: 3\r\n";
  for (size_t piece : {size_t{1} << 20, size_t{7}, size_t{4093}}) {
    const Read read = ReadAll(report, piece);
    ASSERT_TRUE(read.ok) << read.reader.error();
    ASSERT_EQ(read.blocks.size(), 3u) << piece;
    std::vector<uint16_t> got;
    for (const ReportBlock& block : read.blocks) got.insert(got.end(), block.values.begin(), block.values.end());
    EXPECT_TRUE(got == expected) << "pieces of " << piece;
    EXPECT_FALSE(read.blocks[2].cut_short);
  }
  // A value of five digits above 65535, and one of six, are damage.
  for (const char* bad : {"65536\t", "100000\t", "0065535\t"}) {
    const Read read = ReadAll(std::string(kBannerLine) + "--> Telegram Type: 6\r\nTotalSize: 26\t ScanNo:1\t "
                              "BlockNo:0\r\n\n1\t2\t" + bad + "--> Telegram Type: 3\r\n");
    EXPECT_FALSE(read.ok) << bad;
    EXPECT_NE(read.reader.error().find("from 0 to 65535"), std::string::npos) << read.reader.error();
  }
}

// The values read as text, then made numbers: the same blocks and numbers as
// those read as numbers, however the report is split, cut or damaged; a pass
// over the text finds the run's end and counts its values exactly.
TEST(ReportReader, ValuesReadAsTextAreTheSameValues) {
  std::string report = kBannerLine;
  for (uint32_t first = 0; first < 65536; first += 32743) {
    report += "--> Telegram Type: 6\r\nTotalSize: 65486\t ScanNo:1\t BlockNo:0\r\n\n";
    for (uint32_t v = first; v < first + 32743 && v < 65536; ++v) {
      report += std::to_string(static_cast<uint16_t>(v * 40503u)) + "\t";
    }
  }
  report += Report({Block(26, 1, 0, 3), Block(27, 2, 1, 3), Block(26, 3, 0, 1), Block(20, 4, 0, 0), Other(1)}, false);
  for (const std::string& text : {report, Windows(report)}) {
    for (size_t cut : {text.size(), text.size() - 3, text.find("Type: 1") - 8, text.find("BlockNo:1") + 17}) {
      for (const size_t piece : {size_t{1} << 20, size_t{1}, size_t{7}, size_t{4093}}) {
        const Read numbers = ReadAll(text.substr(0, cut), piece);
        const Read texts = ReadAll(text.substr(0, cut), piece, true);
        ASSERT_TRUE(numbers.ok) << numbers.reader.error();
        ASSERT_TRUE(texts.ok) << texts.reader.error();
        ASSERT_EQ(texts.blocks.size(), numbers.blocks.size()) << "cut at " << cut << ", pieces of " << piece;
        for (size_t b = 0; b < numbers.blocks.size(); ++b) {
          const ReportBlock& n = numbers.blocks[b];
          const ReportBlock& t = texts.blocks[b];
          EXPECT_TRUE(t.values.empty());
          EXPECT_EQ(t.text_values, n.values.size()) << b;
          EXPECT_EQ(t.cut_short, n.cut_short) << b << " cut at " << cut;
          EXPECT_EQ(std::make_tuple(t.line, t.telegram, t.size, t.scan_no, t.block_no),
                    std::make_tuple(n.line, n.telegram, n.size, n.scan_no, n.block_no));
          std::vector<uint16_t> parsed(t.text_values + 1);
          size_t bad = 0;
          const size_t made = ParseValueText(t.text.data(), t.text.size(), parsed.data(), parsed.size(), &bad);
          parsed.resize(made);
          EXPECT_EQ(bad, t.text.size()) << b;
          EXPECT_TRUE(parsed == n.values) << "block " << b << ", cut at " << cut << ", pieces of " << piece;
        }
      }
    }
  }
}

// Damage in a run of values read as text is found where the numbers find
// it, in the same words, however the report comes in pieces: each fault at
// the start, in the middle (past the first 64 bytes, across their ends),
// and at the end of the run.
TEST(ReportReader, ValuesReadAsTextAreJudgedAsTheNumbersAre) {
  const std::string head = std::string(kBannerLine) + "--> Telegram Type: 6\r\nTotalSize: 80\t ScanNo:1\t BlockNo:0\r\n\n";
  const std::string sound = "1\t65535\t22\t333\t4444\t55555\t60000\t";
  const char* const faults[] = {
      "",         "123456\t", "65536\t",  "65540\t",  "66000\t", "70000\t", "99999\t", "0065535\t",
      "\t",       "1\t\t",     "12x\t",    "123\r\n",  "1 2\t",    "-1\t",     "65535",    "99999",
      "123456",   "\t\t",      "6553\t",   "06553\t",  "65534\t",  "x",        "1\t2\t3\t4\t5\t6\t7\t8\t9\t",
  };
  for (const char* fault : faults) {
    for (size_t before = 0; before < 10; before += 3) {
      std::string values;
      for (size_t k = 0; k < before; ++k) values += sound;
      values += fault;
      for (const char* after : {"", "7\t", "7\t--> Telegram Type: 3\r\n"}) {
        const std::string report = head + values + after;
        for (const size_t piece : {size_t{1} << 20, size_t{1}, size_t{5}, size_t{63}, size_t{64}}) {
          const Read numbers = ReadAll(report, piece);
          const Read texts = ReadAll(report, piece, true);
          const std::string where = std::string("'") + fault + "' after " + std::to_string(before) + " x 7, then '" +
                                    after + "', pieces of " + std::to_string(piece);
          EXPECT_EQ(texts.ok, numbers.ok) << where;
          EXPECT_EQ(texts.reader.error(), numbers.reader.error()) << where;
          ASSERT_EQ(texts.blocks.size(), numbers.blocks.size()) << where;
          for (size_t b = 0; b < numbers.blocks.size(); ++b) {
            std::vector<uint16_t> parsed(texts.blocks[b].text_values + 1);
            size_t bad = 0;
            const std::string& text = texts.blocks[b].text;
            parsed.resize(ParseValueText(text.data(), text.size(), parsed.data(), parsed.size(), &bad));
            EXPECT_EQ(bad, text.size()) << where;
            EXPECT_TRUE(parsed == numbers.blocks[b].values) << where;
            EXPECT_EQ(texts.blocks[b].cut_short, numbers.blocks[b].cut_short) << where;
          }
        }
      }
    }
  }
  // Runs of random values, five-digit ones above and below 65535 among
  // them, judged alike wherever they fall.
  std::mt19937 random(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same runs every time
  for (int round = 0; round < 300; ++round) {
    std::string values;
    const size_t count = random() % 200 + 1;
    for (size_t k = 0; k < count; ++k) {
      const uint32_t kind = random() % 100;
      values += kind < 90 ? std::to_string(random() % 65536) : kind < 97 ? std::to_string(65000 + random() % 600)
                                                                         : std::to_string(random() % 100000);
      values += '\t';
    }
    const std::string report = std::string(kBannerLine) + "--> Telegram Type: 6\r\nTotalSize: 420\t ScanNo:1\t "
                               "BlockNo:0\r\n\n" + values + "--> Telegram Type: 3\r\n";
    const size_t piece = random() % 2 == 0 ? size_t{1} << 20 : random() % 100 + 1;
    const Read numbers = ReadAll(report, piece);
    const Read texts = ReadAll(report, piece, true);
    EXPECT_EQ(texts.reader.error(), numbers.reader.error()) << values;
    EXPECT_EQ(texts.blocks.size(), numbers.blocks.size()) << values;
  }
  // More values than there is room for, when they are made numbers.
  uint16_t two[2];
  size_t bad = 0;
  EXPECT_EQ(ParseValueText("1\t2\t3\t", 6, two, 2, &bad), 2u);
  EXPECT_EQ(bad, 4u);
  // A span stops after its last tab wanted, and where a value at fault or
  // what is no value begins, wherever that is among 64 bytes.
  size_t tabs = 0;
  EXPECT_EQ(ValueTextSpan("12\t3\t45\t", 8, 2, &tabs), 5u);
  EXPECT_EQ(tabs, 2u);
  for (size_t at = 0; at < 130; ++at) {
    std::string bytes;
    while (bytes.size() < 140) bytes += "123\t";
    const size_t start = at - at % 4;  // of the value it is in
    for (const char* fault : {"x", "\t", "999999"}) {
      if (fault[0] == '\t' && at % 4 != 0) continue;  // a tab inside a value splits it into two sound ones
      std::string damaged = bytes;
      damaged.replace(at, strlen(fault), fault);
      EXPECT_EQ(ValueTextSpan(damaged.data(), damaged.size(), 1000, &tabs), start) << fault << " at " << at;
      EXPECT_EQ(tabs, start / 4) << fault << " at " << at;
    }
    EXPECT_EQ(ValueTextSpan(bytes.data(), at, 1000, &tabs), at) << at;  // digits reaching the end are kept
    EXPECT_EQ(ValueTextSpan(bytes.data(), bytes.size(), at / 4 + 1, &tabs), at - at % 4 + 4) << at;
  }
}
