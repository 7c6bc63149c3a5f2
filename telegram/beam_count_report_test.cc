#include "telegram/beam_count_report.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "telegram/report_capture_test_util.h"
#include "telegram/report_model_test_util.h"
#include "telegram/telegram_writer.h"

namespace {

std::vector<unsigned char> BeamTelegram(uint16_t start, uint16_t stop, uint16_t step) {
  std::vector<unsigned char> bytes(46, 0);
  WriteBeamTelegram(bytes.data(), start, stop, step, 3, 1);
  PutU32(bytes.data(), 1024);
  return bytes;
}

}  // namespace

TEST(BeamCount, RoundsUpAndCountsBothEnds) {
  EXPECT_EQ(BeamCount(0, 100, 1), 101);
  EXPECT_EQ(BeamCount(0, 10, 3), 5);
  EXPECT_EQ(BeamCount(7, 7, 4), 1);
  EXPECT_EQ(BeamCount(0, 0, 5), 1);
  EXPECT_EQ(BeamCount(0, 65535, 1), 65536);
  EXPECT_EQ(BeamCount(0, 65535, 65535), 2);
  EXPECT_EQ(BeamCount(1, 65535, 2), 32768);
}

TEST(BeamCount, DownwardRangeRoundsTowardZero) {
  EXPECT_EQ(BeamCount(20, 10, 4), -1);
  EXPECT_EQ(BeamCount(100, 0, 7), -13);
  EXPECT_EQ(BeamCount(10, 0, 3), -2);
  EXPECT_EQ(BeamCount(65535, 0, 1), -65534);
  EXPECT_EQ(BeamCount(65535, 0, 65535), 0);
}

TEST(BeamCount, ZeroStepGivesZero) {
  EXPECT_EQ(BeamCount(0, 0, 0), 0);
  EXPECT_EQ(BeamCount(0, 100, 0), 0);
  EXPECT_EQ(BeamCount(100, 0, 0), 0);
  EXPECT_EQ(BeamCount(65535, 65535, 0), 0);
}

TEST(BeamCount, MatchesExactIntegerCeilingAcrossTheRange) {
  const unsigned steps[] = {1, 2, 3, 7, 10, 255, 256, 1000, 32767, 65534, 65535};
  for (unsigned start = 0; start <= 65535; start += 4099) {
    for (unsigned stop = 0; stop <= 65535; stop += 3001) {
      for (unsigned step : steps) {
        ASSERT_EQ(BeamCount(static_cast<uint16_t>(start), static_cast<uint16_t>(stop), static_cast<uint16_t>(step)),
                  ModelBeamCount(start, stop, step))
            << start << " " << stop << " " << step;
      }
    }
  }
}

TEST(BeamCountReport, PrintsCountAndRawHeaderFields) {
  EXPECT_EQ(RenderReport(FormatBeamCount, BeamTelegram(0, 100, 1)), "BeamCount : 101\t3\t1024\t1\r\n");
  EXPECT_EQ(RenderReport(FormatBeamCount, BeamTelegram(100, 0, 7)), "BeamCount : -13\t3\t1024\t1\r\n");
  EXPECT_EQ(RenderReport(FormatBeamCount, BeamTelegram(0, 0, 0)), "BeamCount : 0\t3\t1024\t1\r\n");

  std::vector<unsigned char> bytes = BeamTelegram(0, 10, 3);
  bytes[4] = 255;
  bytes[8] = 200;
  PutU32(bytes.data(), 0x80000000u);  // TotalSize unchanged, as a signed number
  EXPECT_EQ(RenderReport(FormatBeamCount, bytes), "BeamCount : 5\t255\t-2147483648\t200\r\n");
  PutU32(bytes.data(), 0xFFFFFFFFu);
  EXPECT_EQ(RenderReport(FormatBeamCount, bytes), "BeamCount : 5\t255\t-1\t200\r\n");
  PutU32(bytes.data(), 0x7FFFFFFFu);
  EXPECT_EQ(RenderReport(FormatBeamCount, bytes), "BeamCount : 5\t255\t2147483647\t200\r\n");
}

TEST(BeamCountReport, BeamFieldsBeyondTheDatagramReadAsZero) {
  std::vector<unsigned char> bytes = BeamTelegram(10, 20, 5);
  // The step's bytes lie in the buffer but not in the datagram: a step of 0.
  EXPECT_EQ(RenderReport(FormatBeamCount, bytes.data(), 45), "BeamCount : 0\t3\t1024\t1\r\n");
  // Only the header arrived: all three read as 0.
  EXPECT_EQ(RenderReport(FormatBeamCount, bytes.data(), 20), "BeamCount : 0\t3\t1024\t1\r\n");
  EXPECT_EQ(RenderReport(FormatBeamCount, bytes.data(), 46), "BeamCount : 3\t3\t1024\t1\r\n");
}
