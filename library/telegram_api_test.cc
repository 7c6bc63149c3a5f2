// The C interface's decoding and report, against the plain model of the
// report and hand-made telegrams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "telegram/report_model_test_util.h"
#include "telegram/telegram_writer.h"
#include "tgr/tgr.h"
#include "tgr/tgr.hpp"

namespace {

// A type-6 telegram of `size` bytes whose TotalSize says `total_size`.
std::string BlockTelegram(size_t size, uint32_t total_size, uint16_t block_no, uint32_t scan_no) {
  std::string d(size, '\0');
  std::vector<unsigned char> header(kHeaderSize);
  WriteHeader(header.data(), total_size, kBlockValuesType, block_no, scan_no);
  d.replace(0, std::min(size, header.size()), reinterpret_cast<const char*>(header.data()),
            std::min(size, header.size()));
  for (size_t i = kHeaderSize; i < size; ++i) d[i] = static_cast<char>(i * 7 + 3);
  return d;
}

std::string Report(const std::string& d, int line_ends = TGR_LINE_ENDS_AS_WRITTEN) {
  std::string text(TGR_REPORT_MAX_SIZE, '\0');
  size_t length = 0;
  EXPECT_EQ(tgr_report(d.data(), d.size(), line_ends, text.data(), text.size(), &length), TGR_OK);
  text.resize(length);
  return text;
}

// Telegrams of every kind the report tells apart.
std::vector<std::string> SampleTelegrams() {
  std::vector<std::string> telegrams = {
      "",                                                        // nothing received
      std::string("\x05\x00\x00\x00\x07", 5),                    // cut inside the header
      BlockTelegram(20 + 2 * 5, 30, 0, 7),                       // five values
      BlockTelegram(41, 100, 1, 0x80000000u),                    // odd last byte; ScanNo shown negative
      BlockTelegram(200, 60, 1, 3),                              // TotalSize below what came
      BlockTelegram(60, 60, 2, 3),                               // a block without values
      BlockTelegram(kMaxDatagramSize, kMaxDatagramSize, 0, 1),   // the largest
      BlockTelegram(20, 3, 0, 1),                                // TotalSize below the header
  };
  std::vector<unsigned char> beam(kBeamTelegramSize);
  WriteBeamTelegram(beam.data(), 10, 3, 4, 9, 250);
  telegrams.emplace_back(reinterpret_cast<const char*>(beam.data()), beam.size());
  std::string other = BlockTelegram(30, 30, 0, 1);
  other[kTelegramTypeOffset] = 9;
  telegrams.push_back(other);
  return telegrams;
}

std::string Crlf(const std::string& text) {
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return crlf;
}

TEST(TelegramApi, ReportIsTheReceiversByteForByte) {
  for (const std::string& d : SampleTelegrams()) {
    EXPECT_EQ(Report(d), ModelReport(d)) << d.size() << " bytes";
  }
}

// With the bound's room the report is formatted in place, in one pass:
// the same bytes with either line ends, never more than the bound.
TEST(TelegramApi, TheBoundsRoomTakesTheReportInPlace) {
  for (const std::string& d : SampleTelegrams()) {
    const size_t bound = tgr_report_bound(d.data(), d.size());
    EXPECT_LE(bound, TGR_REPORT_MAX_SIZE + 512u);
    for (int line_ends : {TGR_LINE_ENDS_AS_WRITTEN, TGR_LINE_ENDS_CRLF}) {
      std::string text(bound, '\x7f');
      size_t length = 0;
      ASSERT_EQ(tgr_report(d.data(), d.size(), line_ends, text.data(), text.size(), &length), TGR_OK);
      ASSERT_LE(length, bound);
      text.resize(length);
      EXPECT_EQ(text, line_ends == TGR_LINE_ENDS_CRLF ? Crlf(ModelReport(d)) : ModelReport(d)) << d.size() << " bytes";
    }
  }
  EXPECT_EQ(tgr_report_bound(nullptr, 0), tgr_report_bound("", 0));
}

TEST(TelegramApi, CrlfLineEndsAreTheWindowsReceivers) {
  const std::string d = BlockTelegram(26, 26, 1, 5);
  const std::string crlf = Crlf(ModelReport(d));
  EXPECT_EQ(Report(d, TGR_LINE_ENDS_CRLF), crlf);
  EXPECT_EQ(crlf.substr(0, 23), "--> Telegram Type: 6\r\r\n");
}

// The size needed is said exactly, whatever the buffer's size, and a
// buffer of exactly that size takes it.
TEST(TelegramApi, ABufferTooSmallIsToldTheSizeNeeded) {
  for (const std::string& d : {BlockTelegram(30, 30, 5, 1), BlockTelegram(4000, 4000, 0, 1),
                               BlockTelegram(kMaxDatagramSize, kMaxDatagramSize, 1, 2)}) {
    const std::string whole = ModelReport(d);
    for (size_t capacity : {size_t{0}, size_t{10}, whole.size() - 1, size_t{4095}, size_t{4096}, size_t{9000}}) {
      if (capacity >= whole.size()) continue;
      std::string text(capacity, '\0');
      size_t length = 0;
      EXPECT_EQ(tgr_report(d.data(), d.size(), TGR_LINE_ENDS_AS_WRITTEN, capacity ? text.data() : nullptr, capacity,
                           &length),
                TGR_E_SPACE)
          << capacity;
      EXPECT_EQ(length, whole.size()) << capacity;
    }
    std::string text(whole.size(), '\0');
    size_t length = 0;
    ASSERT_EQ(tgr_report(d.data(), d.size(), TGR_LINE_ENDS_AS_WRITTEN, text.data(), text.size(), &length), TGR_OK);
    EXPECT_EQ(text, whole);
  }
}

TEST(TelegramApi, DecodeReadsTheFieldsAsTheReceiverDoes) {
  const std::string d = BlockTelegram(41, 100, 1, 0x80000000u);
  tgr_telegram t = tgr::Sized<tgr_telegram>();
  ASSERT_EQ(tgr_decode(d.data(), d.size(), &t), TGR_OK);
  EXPECT_EQ(t.size, 41u);
  EXPECT_EQ(t.total_size, 100u);
  EXPECT_EQ(t.type, TGR_TYPE_BLOCK_VALUES);
  EXPECT_EQ(t.block_no, 1);
  EXPECT_EQ(t.scan_no, 0x80000000u);
  EXPECT_EQ(t.value_count, 10u);  // the odd 41st byte is no value
  ASSERT_EQ(t.values, reinterpret_cast<const uint8_t*>(d.data()) + 20);
  uint16_t values[16] = {};
  EXPECT_EQ(tgr_values(&t, 8, values, 16), 2u);
  EXPECT_EQ(values[0], static_cast<uint16_t>(ModelField(d, 36, 2)));
  EXPECT_EQ(values[1], static_cast<uint16_t>(ModelField(d, 38, 2)));
  EXPECT_EQ(tgr_values(&t, 10, values, 16), 0u);
  EXPECT_EQ(tgr_values(&t, 0, values, 3), 3u);
  EXPECT_EQ(values[2], static_cast<uint16_t>(ModelField(d, 24, 2)));

  // A short telegram reads as zeros, never past what came.
  ASSERT_EQ(tgr_decode(d.data(), 13, &t), TGR_OK);
  EXPECT_EQ(t.type, 0);
  EXPECT_EQ(t.total_size, 100u);
  EXPECT_EQ(t.values, nullptr);
  EXPECT_EQ(t.value_count, 0u);

  std::vector<unsigned char> beam(kBeamTelegramSize);
  WriteBeamTelegram(beam.data(), 100, 10, 7, 4, 8);  // downward: ceil(-90 / 7) + 1
  ASSERT_EQ(tgr_decode(beam.data(), beam.size(), &t), TGR_OK);
  EXPECT_EQ(t.beam_count, ModelBeamCount(100, 10, 7));
  EXPECT_EQ(t.beam_count, -11);
  EXPECT_EQ(t.value_count, 0u);
}

TEST(TelegramApi, MissingArgumentsAreRefusedInWords) {
  tgr_telegram t = tgr::Sized<tgr_telegram>();
  size_t length = 0;
  char text[8];
  EXPECT_EQ(tgr_decode(nullptr, 5, &t), TGR_E_ARGUMENT);
  EXPECT_EQ(tgr_decode("x", 1, nullptr), TGR_E_ARGUMENT);
  EXPECT_EQ(tgr_decode(nullptr, 0, &t), TGR_OK);
  EXPECT_EQ(tgr_report("x", 1, TGR_LINE_ENDS_AS_WRITTEN, text, sizeof text, nullptr), TGR_E_ARGUMENT);
  EXPECT_EQ(tgr_report("x", 1, 7, text, sizeof text, &length), TGR_E_ARGUMENT);
  EXPECT_EQ(tgr_report("x", 1, TGR_LINE_ENDS_AS_WRITTEN, nullptr, 5, &length), TGR_E_ARGUMENT);
  EXPECT_STREQ(tgr_strerror(TGR_E_SPACE), "the buffer given is too small");
  EXPECT_STREQ(tgr_strerror(99), "unknown result code");
  EXPECT_STREQ(tgr_version(), TGR_VERSION_STRING);
}

TEST(TelegramApi, TheCxxLayerGivesTheSameBytesAndOwnsItsValues) {
  const std::string d = BlockTelegram(kMaxDatagramSize, kMaxDatagramSize, 0, 4);
  std::string text = "left over";
  ASSERT_EQ(tgr::Report(d.data(), d.size(), &text, TGR_LINE_ENDS_AS_WRITTEN), TGR_OK);
  EXPECT_EQ(text, ModelReport(d));
  const tgr::Telegram t = tgr::Telegram::Decode(d.data(), d.size());
  const std::vector<uint16_t> values = t.Values();
  ASSERT_EQ(values.size(), (kMaxDatagramSize - 20) / 2);
  EXPECT_EQ(values.back(), t.Value(values.size() - 1));
  EXPECT_EQ(values.back(), static_cast<uint16_t>(ModelField(d, kMaxDatagramSize - 3, 2)));
}

}  // namespace
