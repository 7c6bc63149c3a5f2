// telegram-sender's command line as a user meets it: each bad argument gets
// one line that names it and exit status 2; --help and --version.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/end_to_end_test_util.h"

namespace {

using namespace e2e;  // NOLINT(google-build-using-namespace): the tests' own helpers

TEST(Sender, RejectsBadArgumentsWithAReason) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{"--bogus"}, "unknown option '--bogus' (see --help)"},
      {{"extra"}, "unexpected argument 'extra' (see --help)"},
      {{"--scans=3x"}, "bad value '3x' for --scans: a whole number from 0 to 100000000 is needed"},
      {{"--scans"}, "--scans needs a value (N)"},
      {{"--port", "0"}, "bad value '0' for --port: a whole number from 1 to 65535 is needed"},
      {{"--port", "5", "--port", "6"}, "--port is given twice; give it once (see --help)"},
  };
  for (const auto& [args, reason] : bad) {
    Child sender;
    ASSERT_TRUE(Start(&sender, Command("TELEGRAM_SENDER", args)));
    ASSERT_TRUE(WaitForExit(&sender));
    EXPECT_EQ(sender.exit_code, 2) << args[0];
    EXPECT_EQ(sender.err, AsWritten("telegram-sender: " + reason + "\n"));
    EXPECT_EQ(sender.out, "");
  }
  Child help;
  ASSERT_TRUE(Start(&help, Command("TELEGRAM_SENDER", {"--help"})));
  ASSERT_TRUE(WaitForExit(&help));
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("usage: telegram-sender", 0), 0u);
  Child version;
  ASSERT_TRUE(Start(&version, Command("TELEGRAM_SENDER", {"--version"})));
  ASSERT_TRUE(WaitForExit(&version));
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, AsWritten("telegram-sender " + Env("TELEGRAM_VERSION") + "\n"));
}


// A replay reads its capture twice: what gives its bytes only once, such
// as a pipe, is refused before anything is sent, and so is a folder.
TEST(Sender, AReplayOfWhatIsNoRegularFileIsRefused) {
  if (UnderWine()) GTEST_SKIP() << "/dev/stdin and a pipe as Linux has them";
  Child sender;
  ASSERT_TRUE(Start(&sender, {"/bin/sh", "-c", "printf 'not a capture' | \"$TELEGRAM_SENDER\" --replay /dev/stdin"}));
  ASSERT_TRUE(WaitForExit(&sender));
  EXPECT_EQ(sender.exit_code, 2);
  EXPECT_EQ(sender.err, "telegram-sender: cannot read the capture /dev/stdin: it is not a regular file (a replay "
                        "reads the file twice; save a pipe's capture to a file first)\n");
  Child folder;
  ASSERT_TRUE(Start(&folder, Command("TELEGRAM_SENDER", {"--replay", "/tmp"})));
  ASSERT_TRUE(WaitForExit(&folder));
  EXPECT_EQ(folder.exit_code, 2);
  EXPECT_NE(folder.err.find("/tmp: it is not a regular file"), std::string::npos) << folder.err;
}

}  // namespace
