// The line ends the report output writes itself are exactly those the C
// runtime's text stream would have written (under Wine, the Windows
// runtime's own), however the drains fall.
#include "telegram/report_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "telegram/block_value_report.h"
#include "telegram/report_capture_test_util.h"
#include "telegram/telegram.h"
#include "tests/file_test_util.h"

namespace {

// One piece of a report: a line, a formatted line, a block's values, or a
// drain.
struct Piece {
  enum Kind { kText, kErrorLine, kBlock, kDrain } kind;
  const char* text;
};

// Runs the pieces through a report output with a small buffer into `path`,
// opened with `mode`; the bytes that reach the file.
std::string Render(const std::vector<Piece>& pieces, const char* path, const char* mode, bool crlf) {
  std::vector<unsigned char> block(20 + 2 * 300, 0);
  block[0] = static_cast<unsigned char>(block.size());
  block[1] = static_cast<unsigned char>(block.size() >> 8);
  block[12] = 6;
  block[14] = 1;
  for (size_t i = 20; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 37);
  const Telegram telegram = {block.data(), block.size()};

  FILE* file = fopen(path, mode);
  if (file == nullptr) return "<cannot open " + std::string(path) + ">";
  FileDestination destination(file);
  ReportOutput out;
  if (!out.Open(256, crlf ? kLineEndsCrlf : kLineEndsAsWritten, &destination)) return "<no memory>";
  for (const Piece& piece : pieces) {
    switch (piece.kind) {
      case Piece::kText: out.Append(piece.text); break;
      case Piece::kErrorLine: out.AppendFormatted("WSAGetLastError: %d\r\n", 10048); break;
      case Piece::kBlock: FormatBlockValues(telegram, &out); break;
      case Piece::kDrain: out.Drain(); break;
    }
  }
  out.Drain();
  fclose(file);
  return ReadWholeFile(path);
}

}  // namespace

TEST(ReportOutput, LineEndsAreExactlyThoseOfTheTextStream) {
  const char* path = "report_output_test.tmp";
  const bool text_mode_translates = TextStreamWritesCrlf(path);

  const std::vector<std::vector<Piece>> cases = {
      {{Piece::kText, "\n"}},                                                      // a lone line feed
      {{Piece::kText, "--> Telegram Type: 6\r\n"}},                                // "\r\n" becomes "\r\r\n"
      {{Piece::kText, "Receiving datagrams...\n"}, {Piece::kDrain, nullptr},       // "\n" last in a drain,
       {Piece::kText, "\nExiting.\n"}},                                            // then first in the next
      {{Piece::kBlock, nullptr}},                                                  // drains of values only
      {{Piece::kText, "9\t"}, {Piece::kErrorLine, nullptr}, {Piece::kText, "Finished receiving. Closing socket.\n"}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string text_stream = Render(cases[i], path, "w", false);
    const std::string translated = Render(cases[i], path, "wb", text_mode_translates);
    EXPECT_EQ(translated, text_stream) << "case " << i;
  }
  remove(path);
}

// Text longer than the whole buffer goes through after what is buffered, in
// order and whole; a line formatted longer than any report line too.
TEST(ReportOutput, TextLongerThanTheBufferGoesThroughWholeAndInOrder) {
  std::string written;
  StringDestination destination(&written);
  ReportOutput out;
  ASSERT_TRUE(out.Open(16, kLineEndsAsWritten, &destination));
  const std::string long_text(100, 'x');
  out.Append("ab");
  out.Append(long_text.c_str());
  out.Append("cd");
  out.AppendFormatted("%s|%d", std::string(300, 'y').c_str(), 7);
  out.Drain();
  EXPECT_EQ(written, "ab" + long_text + "cd" + std::string(300, 'y') + "|7");
}

// A formatted line at the edges of the room for one: every byte of it.
TEST(ReportOutput, AFormattedLineOfAnyLengthArrivesWhole) {
  for (size_t length : {kLongestLine - 2, kLongestLine - 1, kLongestLine, kLongestLine + 1}) {
    std::string written;
    StringDestination destination(&written);
    ReportOutput out;
    ASSERT_TRUE(out.Open(4096, kLineEndsAsWritten, &destination));
    const std::string line = std::string(length - 1, 'z') + "!";
    out.AppendFormatted("%s", line.c_str());
    out.Drain();
    EXPECT_EQ(written, line) << length << " bytes";
  }
}

// A destination that fails once gets nothing more: what it has is an exact
// prefix of the report, with no hole after the failure.
TEST(ReportOutput, NothingIsWrittenAfterAFailure) {
  class FailsOnce : public ReportDestination {
   public:
    int Write(const char* data, size_t size) override {
      ++writes;
      if (writes == 2) return 28;  // ENOSPC
      got.append(data, size);
      return 0;
    }
    int writes = 0;
    std::string got;
  } destination;
  ReportOutput out;
  ASSERT_TRUE(out.Open(16, kLineEndsAsWritten, &destination));
  out.Append("first\n");
  out.Drain();
  out.Append("second\n");
  out.Drain();
  EXPECT_EQ(out.failure(), 28);
  out.Append("third\n");
  out.Append(std::string(40, 'x').c_str());  // longer than the buffer: straight through
  out.AppendFormatted("%d\n", 4);
  out.Drain();
  EXPECT_EQ(destination.got, "first\n");
  EXPECT_EQ(destination.writes, 2);
  EXPECT_EQ(out.failure(), 28) << "the first failure is kept";
}
