// telegram-record's options: sizes and times with their units, and the
// options that need another beside them.
#include "record/record_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CommandLineResult Parse(std::vector<const char*> args, RecordOptions* options, std::string* err) {
  args.insert(args.begin(), "telegram-record");
  return ParseRecordOptions(static_cast<int>(args.size()), args.data(), options, err);
}

TEST(RecordOptions, SizesTakeTheirUnits) {
  std::string err;
  uint64_t bytes = 0;
  const struct {
    const char* text;
    uint64_t bytes;
  } good[] = {{"4096", 4096}, {"512k", uint64_t{512} * 1024}, {"64M", uint64_t{64} << 20}, {"1.5G", 3ull << 29}, {"2T", 2ull << 40},
              {"100MiB", uint64_t{100} << 20}, {"10B", 10}};
  for (const auto& g : good) {
    EXPECT_TRUE(ParseSize(g.text, "--backlog", &bytes, &err)) << g.text;
    EXPECT_EQ(bytes, g.bytes) << g.text;
  }
  for (const char* bad : {"", "0", "M", "-5M", "5X", "5 M", "1e30", "nan", "0.5"}) {
    EXPECT_FALSE(ParseSize(bad, "--backlog", &bytes, &err)) << bad;
    EXPECT_EQ(err, std::string("bad value '") + bad + "' for --backlog: a size such as 4096, 512k, 64M or 2G");
  }
}

TEST(RecordOptions, TimesTakeTheirUnits) {
  std::string err;
  double seconds = 0;
  const struct {
    const char* text;
    double seconds;
  } good[] = {{"90", 90}, {"1.5", 1.5}, {"500ms", 0.5}, {"30s", 30}, {"10m", 600}, {"10min", 600}, {"2h", 7200},
              {"1d", 86400}, {"100d", 8640000}};
  for (const auto& g : good) {
    EXPECT_TRUE(ParseSeconds(g.text, "--duration", &seconds, &err)) << g.text;
    EXPECT_DOUBLE_EQ(seconds, g.seconds) << g.text;
  }
  for (const char* bad : {"", "0", "0s", "-1", "1w", "101d", "s", "inf", "1 s"}) {
    EXPECT_FALSE(ParseSeconds(bad, "--duration", &seconds, &err)) << bad;
    EXPECT_EQ(err.rfind(std::string("bad value '") + bad + "' for --duration: a time such as 90", 0), 0u) << err;
  }
}

TEST(RecordOptions, OptionsThatNeedAnotherSaySo) {
  RecordOptions options;
  std::string err;
  EXPECT_EQ(Parse({"--rotate-size", "10M"}, &options, &err), kBadCommandLine);
  EXPECT_EQ(err, "--rotate-size is for --record");
  options = RecordOptions();
  EXPECT_EQ(Parse({"--record", "r.pcapng", "--ring", "5"}, &options, &err), kBadCommandLine);
  EXPECT_EQ(err, "--ring is for --rotate-size or --rotate-time");
  options = RecordOptions();
  EXPECT_EQ(Parse({"--stats-interval", "5"}, &options, &err), kBadCommandLine);
  EXPECT_EQ(err, "--stats-interval is for --stats");
  options = RecordOptions();
  ASSERT_EQ(Parse({"--record", "r.pcapng", "--rotate-time", "1.5", "--ring", "3", "--duration", "1h", "--count", "5",
                   "--backlog", "1G", "--stats", "s.jsonl", "--stats-interval", "250ms"},
                  &options, &err),
            kRunProgram)
      << err;
  EXPECT_EQ(options.rotate_time, 2) << "whole seconds, not less than asked";
  EXPECT_EQ(options.ring, 3);
  EXPECT_DOUBLE_EQ(options.duration, 3600);
  EXPECT_EQ(options.backlog, 1ull << 30);
  EXPECT_DOUBLE_EQ(options.stats_interval, 0.25);
  options = RecordOptions();
  ASSERT_EQ(Parse({}, &options, &err), kRunProgram);
  EXPECT_EQ(options.backlog, uint64_t{64} << 20) << "the default backlog";
  EXPECT_DOUBLE_EQ(options.duration, 0);
}

}  // namespace

namespace {

TEST(RecordOptions, SourcesMayBeGivenAgainAndEachIsKept) {
  RecordOptions options;
  std::string err;
  ASSERT_EQ(Parse({"--source", "10.0.0.1", "--source=10.0.0.2:2112", "--format", "csv"}, &options, &err), kRunProgram)
      << err;
  EXPECT_EQ(options.sources.Text(), "10.0.0.1, 10.0.0.2:2112");
  EXPECT_TRUE(options.sources.Keeps(SourceAddress{0x0A000001, 5}));
  EXPECT_FALSE(options.sources.Keeps(SourceAddress{0x0A000002, 5}));
  // Other options are still refused when given twice.
  RecordOptions twice;
  EXPECT_EQ(Parse({"--source", "10.0.0.1", "--port", "1", "--port", "2"}, &twice, &err), kBadCommandLine);
  EXPECT_EQ(err, "--port is given twice; give it once (see --help)");
  RecordOptions bad;
  EXPECT_EQ(Parse({"--source", "10.0.0.1", "--source", "10.0.0"}, &bad, &err), kBadCommandLine);
  EXPECT_EQ(err, "bad value '10.0.0' for --source: an IPv4 address, or one with a port (10.0.0.1:5000)");
  RecordOptions lonely;
  EXPECT_EQ(Parse({"--interface", "eth0"}, &lonely, &err), kBadCommandLine);
  EXPECT_EQ(err, "--interface is for a multicast --address");
  RecordOptions group;
  ASSERT_EQ(Parse({"--address", "239.1.2.3", "--interface", "eth0"}, &group, &err), kRunProgram) << err;
  EXPECT_EQ(group.interface_name, "eth0");
}

}  // namespace
