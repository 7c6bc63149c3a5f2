// The demo as a user runs it: telegram-sender --receiver starts the
// receiver, waits for its banner, sends, and passes the receiver's report
// and exit status on. Where the build has a Windows demo script
// (TELEGRAM_DEMO_SCRIPT), it is run the same way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/end_to_end_test_util.h"
#include "tests/file_test_util.h"

namespace {

using namespace e2e;  // NOLINT(google-build-using-namespace): the tests' own helpers

std::vector<std::vector<std::string>> DemoCommands(const std::vector<std::string>& args) {
  std::vector<std::string> sender_args = {"--receiver", Env("TELEGRAM_RECEIVER")};
  sender_args.insert(sender_args.end(), args.begin(), args.end());
  std::vector<std::vector<std::string>> commands = {Command("TELEGRAM_SENDER", sender_args)};
  std::string script = Env("TELEGRAM_DEMO_SCRIPT");
  if (!script.empty()) {
    for (char& c : script) c = c == '/' ? '\\' : c;
    std::vector<std::string> run = {Env("TELEGRAM_SENDER_LAUNCHER"), "cmd", "/c", "Z:" + script};
    run.insert(run.end(), args.begin(), args.end());
    commands.push_back(run);
  }
  return commands;
}

TEST(Demo, FeedsItsOwnReceiverAWholeRunAndEndsWithItsStatus) {
  for (const std::vector<std::string>& command : DemoCommands({"--size", "61"})) {
    Child demo;
    ASSERT_TRUE(Start(&demo, command));
    ASSERT_TRUE(WaitForExit(&demo));
    EXPECT_EQ(demo.exit_code, 0) << command[0] << ": " << demo.err;
    EXPECT_TRUE(demo.out == AsWritten(WholeRunReport(61))) << command[0] << ": output differs; first 1000 bytes:\n"
                                                           << demo.out.substr(0, 1000);
    EXPECT_NE(demo.err.find("sent 1000 telegrams"), std::string::npos) << demo.err;
  }
}

// A reader that takes nothing for a while, then all: every byte of the
// report is passed on, none lost to the receiver's end, and the demo ends
// only once the last has gone out.
TEST(Demo, PassesOnEveryByteToAReaderThatIsSlowToStart) {
  for (const std::vector<std::string>& command : DemoCommands({"--size", "40"})) {
    Child demo;
    int output = -1;
    ASSERT_TRUE(StartIntoPipe(&demo, command, &output));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const std::string out = ReadToEnd(output);
    ASSERT_TRUE(WaitForExit(&demo));
    EXPECT_EQ(demo.exit_code, 0) << command[0] << ": " << demo.err;
    EXPECT_EQ(out.size(), AsWritten(WholeRunReport(40)).size()) << command[0];
    EXPECT_TRUE(out == AsWritten(WholeRunReport(40))) << command[0] << ": the report differs";
  }
}

// Its own output fails: said, with status 1, and the receiver is never
// held up by it: it still gets its whole run.
TEST(Demo, AnOutputThatFailsIsSaidWithStatus1) {
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  close(ends[0]);
  StartOptions options;
  options.out_fd = ends[1];
  options.ignore_sigpipe = true;
  Child demo;
  ASSERT_TRUE(Start(&demo, DemoCommands({"--size", "40"})[0], options));
  close(ends[1]);
  ASSERT_TRUE(WaitForExit(&demo));
  EXPECT_EQ(demo.exit_code, 1);
  EXPECT_NE(demo.err.find("sent 1000 telegrams"), std::string::npos) << demo.err;
  const std::string said = "telegram-sender: cannot pass the receiver's report on to standard output: ";
  EXPECT_NE(demo.err.find(AsWritten(said)), std::string::npos) << demo.err;
  if (!UnderWine()) {
    EXPECT_NE(demo.err.find("Broken pipe"), std::string::npos) << demo.err;
  }
}

// A receiver whose banner comes in pieces, as a slow start may write it,
// is ready once the whole line is there.
TEST(Demo, TheBannerInPiecesIsWaitedFor) {
  if (UnderWine()) GTEST_SKIP() << "the stand-in receiver is a shell script";
  const TempFolder folder;
  const std::string stand_in = folder.path + "/receiver";
  ASSERT_TRUE(WriteWholeFile(stand_in, "#!/bin/sh\nprintf Receiv; sleep 0.3; printf 'ing data'; sleep 0.3\n"
                                         "printf 'grams...\\n'; sleep 0.5\n"));
  ASSERT_EQ(chmod(stand_in.c_str(), 0755), 0);
  Child demo;
  ASSERT_TRUE(Start(&demo, Command("TELEGRAM_SENDER", {"--receiver", stand_in, "--scans", "2"})));
  ASSERT_TRUE(WaitForExit(&demo));
  EXPECT_EQ(demo.exit_code, 0) << demo.err;
  EXPECT_EQ(demo.out, "Receiving datagrams...\n");
  EXPECT_NE(demo.err.find("sent 8 telegrams"), std::string::npos) << demo.err;
}

// A stand-in receiver made of a shell script, in `folder`.
std::string StandIn(const TempFolder& folder, const std::string& script) {
  std::string path = folder.path + "/receiver";
  if (!WriteWholeFile(path, "#!/bin/sh\n" + script) || chmod(path.c_str(), 0755) != 0) return "";
  return path;
}

// The type lines a receiver writes are counted once each, however its
// writes split them: here right after their fixed start.
TEST(Demo, TypeLinesSplitAnywhereAreCountedOnce) {
  if (UnderWine()) GTEST_SKIP() << "the stand-in receiver is a shell script";
  const TempFolder folder;
  const std::string stand_in =
      StandIn(folder, "printf 'Receiving datagrams...\\n'\nfor i in 1 2 3; do printf -- '--> Telegram Type: '; "
                      "sleep 0.2; printf '3\\r\\n'; sleep 0.2; done\nexec sleep 30\n");
  ASSERT_FALSE(stand_in.empty());
  Child demo;
  ASSERT_TRUE(Start(&demo, Command("TELEGRAM_SENDER", {"--receiver", stand_in})));
  ASSERT_TRUE(WaitForExit(&demo));
  EXPECT_EQ(demo.exit_code, 1);
  EXPECT_NE(demo.err.find("reported 3 of the 1000 telegrams sent and then waited for more: stopped it"),
            std::string::npos)
      << demo.err;
}

// Ready only once the banner's line has ended: an error line after it, in
// a write of its own, still means nothing is sent.
TEST(Demo, NotReadyBeforeTheBannerLineEnds) {
  if (UnderWine()) GTEST_SKIP() << "the stand-in receiver is a shell script";
  const TempFolder folder;
  const std::string stand_in =
      StandIn(folder, "printf 'Receiving datagrams...'; sleep 0.5\n"
                      "printf '\\nWSAGetLastError: 10048\\r\\nFinished receiving. Closing socket.\\nExiting.\\n'\n"
                      "exit 1\n");
  ASSERT_FALSE(stand_in.empty());
  Child demo;
  ASSERT_TRUE(Start(&demo, Command("TELEGRAM_SENDER", {"--receiver", stand_in})));
  ASSERT_TRUE(WaitForExit(&demo));
  EXPECT_EQ(demo.exit_code, 1);
  EXPECT_NE(demo.err.find("ended before it was ready (exit status 1), so nothing was sent"), std::string::npos)
      << demo.err;
  EXPECT_EQ(demo.err.find("sent 1000"), std::string::npos) << demo.err;
}

// A report larger than the pipes hold, to a reader that takes nothing for
// a while: the receiver, held up writing it, is waited for, never stopped.
TEST(Demo, AReceiverHeldUpByASlowReaderIsWaitedFor) {
  const std::vector<std::string> command = DemoCommands({"--size", "2000"})[0];
  Child demo;
  int output = -1;
  ASSERT_TRUE(StartIntoPipe(&demo, command, &output));
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const std::string out = ReadToEnd(output);
  ASSERT_TRUE(WaitForExit(&demo));
  EXPECT_EQ(demo.exit_code, 0) << demo.err;
  EXPECT_TRUE(out == AsWritten(WholeRunReport(2000))) << "the report differs: " << out.size() << " bytes";
}

// Ctrl-C reaches the demo's whole process group: the receiver ends by it,
// and the demo gives the status a shell gives a program a signal ended.
TEST(Demo, AReceiverEndedByCtrlCGivesItsSignalsStatus) {
  if (UnderWine()) GTEST_SKIP() << "a POSIX process group";
  std::vector<std::string> command = Command("TELEGRAM_SENDER", {"--receiver", Env("TELEGRAM_RECEIVER"), "--rate",
                                                                 "50"});
  command.insert(command.begin(), "setsid");
  Child demo;
  ASSERT_TRUE(Start(&demo, command));
  ASSERT_TRUE(WaitForOutput(&demo, kBanner.size()));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_EQ(kill(-demo.pid, SIGINT), 0) << strerror(errno);
  ASSERT_TRUE(WaitForExit(&demo));
  EXPECT_EQ(demo.exit_code, 130) << demo.err;
  EXPECT_EQ(demo.out.compare(0, kBanner.size(), kBanner), 0);
}

TEST(Demo, SendsNothingWhenItsReceiverCannotStart) {
  for (const std::vector<std::string>& command : DemoCommands({})) {
    PortHolder holder;
    ASSERT_TRUE(holder.Bind()) << strerror(errno);
    Child demo;
    ASSERT_TRUE(Start(&demo, command));
    ASSERT_TRUE(WaitForExit(&demo));
    EXPECT_EQ(demo.exit_code, 1) << command[0];
    std::string expected = kBanner;
    expected += "WSAGetLastError: 10048\r\n";
    expected += kClosing;
    EXPECT_EQ(demo.out, AsWritten(expected));
    EXPECT_NE(demo.err.find("ended before it was ready (exit status 1), so nothing was sent"), std::string::npos)
        << demo.err;
    // Not one datagram reached the program that holds the port.
    char byte;
    EXPECT_EQ(recv(holder.fd(), &byte, 1, MSG_DONTWAIT), -1);
    EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK) << strerror(errno);
  }
}

// The Windows demo script takes the first programs that run on this host:
// beside itself, then the build folders. Programs that do not run (here,
// files that are no programs at all) are passed over.
TEST(Demo, WindowsScriptTakesTheProgramsThatRunHere) {
  const std::string script = Env("TELEGRAM_DEMO_SCRIPT");
  if (script.empty()) GTEST_SKIP() << "no Windows demo script in this build";
  char tree_template[] = "/tmp/telegram-demo-tree.XXXXXX";
  ASSERT_NE(mkdtemp(tree_template), nullptr);
  const std::string tree = tree_template;
  const std::string programs = Env("TELEGRAM_RECEIVER").substr(0, Env("TELEGRAM_RECEIVER").rfind('/'));
  const std::string make_tree =
      "mkdir -p '" + tree + "/scripts' '" + tree + "/build-win32' '" + tree + "/build-win64' && cp '" + script +
      "' '" + tree + "/scripts/' && for p in telegram-receiver telegram-sender; do echo 'no program' > '" + tree +
      "/build-win32/'$p.exe; cp '" + programs + "/'$p.exe '" + tree + "/build-win64/'; done";
  ASSERT_TRUE(RunShell(make_tree));
  const std::vector<std::string> run = {Env("TELEGRAM_SENDER_LAUNCHER"), "cmd", "/c",
                                        "Z:" + tree + "/scripts/demo.cmd", "--scans", "2"};
  std::vector<std::string> windows_run = run;
  for (char& c : windows_run[3]) c = c == '/' ? '\\' : c;

  Child demo;
  ASSERT_TRUE(Start(&demo, windows_run));
  ASSERT_TRUE(WaitForExit(&demo));
  EXPECT_EQ(demo.exit_code, 0) << demo.err;
  EXPECT_NE(demo.err.find("build-win64\\telegram-receiver.exe"), std::string::npos) << demo.err;

  ASSERT_TRUE(RunShell("rm -r '" + tree + "/build-win64'"));
  Child none;
  ASSERT_TRUE(Start(&none, windows_run));
  ASSERT_TRUE(WaitForExit(&none));
  EXPECT_EQ(none.exit_code, 2);
  EXPECT_EQ(none.out, "");
  // One whole line, as every cmd reads the redirection after the text.
  EXPECT_NE(none.err.find("demo: no telegram-receiver.exe that runs here, beside this script or in build-win32, "
                          "build-win64 or build-msvc\\Release\r\n"),
            std::string::npos)
      << none.err;
  ASSERT_TRUE(RunShell("rm -r '" + tree + "'"));
}

}  // namespace
