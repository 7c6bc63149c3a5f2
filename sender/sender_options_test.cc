#include "sender/sender_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
  CommandLineResult command;
  SenderOptions options;
  std::string error;
};

Parsed Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "telegram-sender");
  Parsed parsed;
  parsed.command = ParseSenderOptions(static_cast<int>(args.size()), args.data(), &parsed.options, &parsed.error);
  return parsed;
}

}  // namespace

TEST(SenderOptions, DefaultsMakeAWholeRunOfTheReceiver) {
  const Parsed parsed = Parse({});
  ASSERT_EQ(parsed.command, kRunProgram);
  EXPECT_EQ(parsed.options.host, "127.0.0.1");
  EXPECT_EQ(parsed.options.port, 9999);
  const ScanPlan& plan = parsed.options.plan;
  EXPECT_EQ(plan.scans * ((plan.beam_range ? 1 : 0) + plan.blocks), 1000);
  EXPECT_EQ(parsed.options.receiver, "");
}

TEST(SenderOptions, ValuesAfterASpaceOrAnEqualsSign) {
  const Parsed parsed = Parse({"--host", "10.0.0.7", "--port=4000", "--scans", "0", "--blocks=65536", "--size",
                               "65507", "--rate=1", "--no-beam", "--same-values", "--receiver=build/telegram-receiver"});
  ASSERT_EQ(parsed.command, kRunProgram) << parsed.error;
  EXPECT_EQ(parsed.options.host, "10.0.0.7");
  EXPECT_EQ(parsed.options.port, 4000);
  EXPECT_EQ(parsed.options.plan.scans, 0);
  EXPECT_EQ(parsed.options.plan.blocks, 65536);
  EXPECT_EQ(parsed.options.plan.size, 65507);
  EXPECT_EQ(parsed.options.rate, 1);
  EXPECT_FALSE(parsed.options.plan.beam_range);
  EXPECT_TRUE(parsed.options.plan.same_values);
  EXPECT_EQ(parsed.options.receiver, "build/telegram-receiver");
  // An equals sign inside a value belongs to the value.
  EXPECT_EQ(Parse({"--receiver=a=b"}).options.receiver, "a=b");
}

TEST(SenderOptions, HelpAndVersionWinOverWhatFollows) {
  EXPECT_EQ(Parse({"--help", "--bogus"}).command, kShowHelp);
  EXPECT_EQ(Parse({"-h"}).command, kShowHelp);
  EXPECT_EQ(Parse({"/?"}).command, kShowHelp);
  EXPECT_EQ(Parse({"-?"}).command, kShowHelp);
  EXPECT_EQ(Parse({"--scans", "3", "--version"}).command, kShowVersion);
}

TEST(SenderOptions, EachBadArgumentGetsItsOwnReason) {
  const struct {
    std::vector<const char*> args;
    const char* error;
  } cases[] = {
      {{"--bogus"}, "unknown option '--bogus' (see --help)"},
      {{"--bogus=3"}, "unknown option '--bogus' (see --help)"},
      {{"--bogus", "3"}, "unknown option '--bogus' (see --help)"},
      {{"extra"}, "unexpected argument 'extra' (see --help)"},
      {{"--scans", "3", "extra"}, "unexpected argument 'extra' (see --help)"},
      {{"-"}, "unexpected argument '-' (see --help)"},
      {{"--scans"}, "--scans needs a value (N)"},
      {{"--host="}, "--host needs a value (ADDR)"},
      {{"--no-beam=yes"}, "--no-beam takes no value"},
      {{"--scans=3x"}, "bad value '3x' for --scans: a whole number from 0 to 100000000 is needed"},
      {{"--scans", "-1"}, "bad value '-1' for --scans: a whole number from 0 to 100000000 is needed"},
      {{"--port", "0"}, "bad value '0' for --port: a whole number from 1 to 65535 is needed"},
      {{"--port=65536"}, "bad value '65536' for --port: a whole number from 1 to 65535 is needed"},
      {{"--port=+80"}, "bad value '+80' for --port: a whole number from 1 to 65535 is needed"},
      {{"--scans", " 3"}, "bad value ' 3' for --scans: a whole number from 0 to 100000000 is needed"},
      {{"--blocks", "65537"}, "bad value '65537' for --blocks: a whole number from 0 to 65536 is needed"},
      {{"--size", "19"}, "bad value '19' for --size: a whole number from 20 to 65507 is needed"},
      {{"--size", "65508"}, "bad value '65508' for --size: a whole number from 20 to 65507 is needed"},
      {{"--rate", "0"}, "bad value '0' for --rate: a whole number from 1 to 100000000 is needed"},
      {{"--rate", "99999999999999999999"},
       "bad value '99999999999999999999' for --rate: a whole number from 1 to 100000000 is needed"},
      // A replay's senders, speed and passes.
      {{"--source", "10.0.0.1"}, "--source goes with --replay"},
      {{"--speed", "2"}, "--speed goes with --replay"},
      {{"--loop", "0"}, "--loop goes with --replay"},
      {{"--replay", "x", "--source", "10.0.0"},
       "bad value '10.0.0' for --source: an IPv4 address, or one with a port (10.0.0.1:5000)"},
      {{"--replay", "x", "--speed", "0"}, "bad value '0' for --speed: a number from 0.001 to 1000000"},
      {{"--replay", "x", "--speed", "fast"}, "bad value 'fast' for --speed: a number from 0.001 to 1000000"},
      {{"--replay", "x", "--speed", "2x"}, "bad value '2x' for --speed: a number from 0.001 to 1000000"},
      {{"--replay", "x", "--speed", "nan"}, "bad value 'nan' for --speed: a number from 0.001 to 1000000"},
      {{"--replay", "x", "--speed", "2", "--rate", "10"}, "--speed and --rate both set the pace: give one"},
      {{"--replay", "x", "--loop", "2", "--receiver", "r"},
       "--loop goes without --receiver (the receiver ends after 1000 telegrams)"},
  };
  for (const auto& c : cases) {
    const Parsed parsed = Parse(c.args);
    EXPECT_EQ(parsed.command, kBadCommandLine) << c.error;
    EXPECT_EQ(parsed.error, c.error);
  }
}

TEST(SenderOptions, AReplaysSendersSpeedAndPassesAreRead) {
  const Parsed parsed =
      Parse({"--replay", "x", "--source", "10.0.0.1", "--source", "10.0.0.2:2112", "--speed", "0.5", "--loop", "0"});
  ASSERT_EQ(parsed.command, kRunProgram) << parsed.error;
  EXPECT_EQ(parsed.options.sources.Text(), "10.0.0.1, 10.0.0.2:2112");
  EXPECT_EQ(parsed.options.speed, 0.5);
  EXPECT_EQ(parsed.options.loops, 0);
  EXPECT_EQ(Parse({}).options.loops, 1);
  EXPECT_EQ(Parse({}).options.speed, 1.0);
}

TEST(SenderOptions, HelpGivesEveryOptionWithItsRangeAndDefault) {
  const std::string usage = SenderUsage();
  for (const char* line : {"--host ADDR", "(default 127.0.0.1)", "--port N", "1 to 65535 (default 9999)", "--scans N",
                           "0 to 100000000 (default 250)", "--blocks N", "0 to 65536", "(default 3)", "--size BYTES",
                           "20 to 65507 (default 60)", "--rate N", "1 to 100000000", "--no-beam", "--same-values",
                           "--receiver PROGRAM", "--help", "--version"}) {
    EXPECT_NE(usage.find(line), std::string::npos) << line;
  }
  size_t start = 0;
  while (start < usage.size()) {
    const size_t end = usage.find('\n', start);
    EXPECT_LE(end - start, 79u) << usage.substr(start, end - start);
    start = end + 1;
  }
}
