#include "telegram/telegram_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "telegram/report_capture_test_util.h"
#include "telegram/telegram_writer.h"

namespace {

std::vector<unsigned char> Header(uint32_t total_size, uint16_t type) {
  std::vector<unsigned char> bytes(20, 0);
  WriteHeader(bytes.data(), total_size, type, 0, 0);
  return bytes;
}

}  // namespace

TEST(TelegramReport, OtherTypesGetTheTypeLineAlone) {
  EXPECT_EQ(RenderReport(FormatTelegram, Header(20, 0)), "--> Telegram Type: 0\r\n");
  EXPECT_EQ(RenderReport(FormatTelegram, Header(20, 2)), "--> Telegram Type: 2\r\n");
  EXPECT_EQ(RenderReport(FormatTelegram, Header(20, 7)), "--> Telegram Type: 7\r\n");
  EXPECT_EQ(RenderReport(FormatTelegram, Header(20, 65535)), "--> Telegram Type: 65535\r\n");
  EXPECT_EQ(RenderReport(FormatTelegram, Header(20, 256)), "--> Telegram Type: 256\r\n");
}

TEST(TelegramReport, TypesOneAndSixRunTheirReport) {
  std::vector<unsigned char> beam = Header(46, 1);
  beam.resize(46, 0);
  beam[4] = 9;
  beam[8] = 8;
  PutU16(&beam[42], 100);
  PutU16(&beam[44], 1);
  EXPECT_EQ(RenderReport(FormatTelegram, beam), "--> Telegram Type: 1\r\nBeamCount : 101\t9\t46\t8\r\n");

  std::vector<unsigned char> block = Header(24, 6);
  block.resize(24);
  PutU16(&block[20], 5);
  PutU16(&block[22], 6);
  EXPECT_EQ(RenderReport(FormatTelegram, block),
            "--> Telegram Type: 6\r\nTotalSize: 4\t ScanNo:0\t BlockNo:0\r\n\n5\t6\t");
}

TEST(TelegramReport, ShortDatagramAfterALongOneShowsNoStaleBytes) {
  // The buffer holds a long type-6 block 0; a short datagram overwrites only
  // its first bytes.
  std::vector<unsigned char> buffer = Header(200, 6);
  buffer.resize(200, 0x33);
  PutU32(&buffer[16], 77);

  EXPECT_EQ(RenderReport(FormatTelegram, buffer.data(), 0), "--> Telegram Type: 0\r\n");
  EXPECT_EQ(RenderReport(FormatTelegram, buffer.data(), 13), "--> Telegram Type: 0\r\n");
  EXPECT_EQ(RenderReport(FormatTelegram, buffer.data(), 14),
            "--> Telegram Type: 6\r\nTotalSize: 180\t ScanNo:0\t BlockNo:0\r\n\n");
  EXPECT_EQ(RenderReport(FormatTelegram, buffer.data(), 24),
            "--> Telegram Type: 6\r\nTotalSize: 180\t ScanNo:77\t BlockNo:0\r\n\n13107\t13107\t");

  // A type-1 telegram cut before its beam range reads the range as 0.
  PutU16(&buffer[12], 1);
  EXPECT_EQ(RenderReport(FormatTelegram, buffer.data(), 40), "--> Telegram Type: 1\r\nBeamCount : 0\t0\t200\t0\r\n");
}
