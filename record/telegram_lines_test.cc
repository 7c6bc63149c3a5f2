// The CSV rows and JSON lines of telegram-record, byte for byte, and the
// times they carry across the calendar's edges.
#include "record/telegram_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tgr/tgr.hpp"

namespace {

TEST(TelegramLines, TimesAreUtcToTheNanosecond) {
  EXPECT_EQ(UtcTime(0), "1970-01-01T00:00:00.000000000Z");
  EXPECT_EQ(UtcTime(951782400123456789LL), "2000-02-29T00:00:00.123456789Z");  // a leap day of a century
  EXPECT_EQ(UtcTime(1798761599999999999LL), "2026-12-31T23:59:59.999999999Z");
  EXPECT_EQ(UtcTime(4107542400000000001LL), "2100-03-01T00:00:00.000000001Z");  // 2100 has no 29 February
  EXPECT_EQ(UtcTime(-1), "1969-12-31T23:59:59.999999999Z");
}

struct Made {
  std::vector<unsigned char> bytes;
  tgr_telegram telegram;
};

Made Decoded(std::vector<unsigned char> bytes) {
  Made made{std::move(bytes), tgr::Sized<tgr_telegram>()};
  tgr_decode(made.bytes.data(), made.bytes.size(), &made.telegram);
  return made;
}

TEST(TelegramLines, EachTypeGivesItsFieldsAndNoOthers) {
  tgr_datagram d = tgr::Sized<tgr_datagram>();
  d.time_ns = 1;
  d.source_address = 0x0A000001;
  d.source_port = 5;
  // Type 6, scan 0x80000000 (unsigned here), block 1, values 1 and 65535,
  // and an odd byte that is no value.
  const Made block = Decoded({25, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6, 0, 1, 0, 0, 0, 0, 0x80, 1, 0, 0xFF, 0xFF, 7});
  // Type 1: beam 10 down to 3 in steps of 4 (ceil(-7 / 4) + 1 beams: 0),
  // header bytes 9 and 250.
  Made beam = Decoded(std::vector<unsigned char>(46, 0));
  beam.bytes[0] = 46;
  beam.bytes[4] = 9;
  beam.bytes[8] = 250;
  beam.bytes[12] = 1;
  beam.bytes[40] = 10;
  beam.bytes[42] = 3;
  beam.bytes[44] = 4;
  tgr_decode(beam.bytes.data(), beam.bytes.size(), &beam.telegram);
  const Made other = Decoded({3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0});

  std::string csv;
  AppendCsvHeader(&csv);
  AppendCsvRow(d, block.telegram, &csv);
  AppendCsvRow(d, beam.telegram, &csv);
  AppendCsvRow(d, other.telegram, &csv);
  EXPECT_EQ(csv,
            "time,source,type,size,total_size,header_byte4,header_byte8,beam_start,beam_stop,beam_step,beam_count,"
            "scan,block,value_count,values\n"
            "1970-01-01T00:00:00.000000001Z,10.0.0.1:5,6,25,25,0,0,,,,,2147483648,1,2,1 65535\n"
            "1970-01-01T00:00:00.000000001Z,10.0.0.1:5,1,46,46,9,250,10,3,4,0,,,,\n"
            "1970-01-01T00:00:00.000000001Z,10.0.0.1:5,9,14,3,0,0,,,,,,,,\n");

  std::string json;
  AppendJsonLine(d, block.telegram, &json);
  AppendJsonLine(d, beam.telegram, &json);
  AppendJsonLine(d, other.telegram, &json);
  EXPECT_EQ(json,
            "{\"time\":\"1970-01-01T00:00:00.000000001Z\",\"time_ns\":1,\"source\":\"10.0.0.1:5\",\"type\":6,"
            "\"size\":25,\"total_size\":25,\"header_byte4\":0,\"header_byte8\":0,\"scan\":2147483648,\"block\":1,"
            "\"values\":[1,65535]}\n"
            "{\"time\":\"1970-01-01T00:00:00.000000001Z\",\"time_ns\":1,\"source\":\"10.0.0.1:5\",\"type\":1,"
            "\"size\":46,\"total_size\":46,\"header_byte4\":9,\"header_byte8\":250,\"beam\":{\"start\":10,\"stop\":3,"
            "\"step\":4,\"count\":0}}\n"
            "{\"time\":\"1970-01-01T00:00:00.000000001Z\",\"time_ns\":1,\"source\":\"10.0.0.1:5\",\"type\":9,"
            "\"size\":14,\"total_size\":3,\"header_byte4\":0,\"header_byte8\":0}\n");
}

}  // namespace
