// Telegrams lost before the receiver could take them, on real sockets: the
// report's reader stalls while a burst of the largest blocks arrives, so
// the socket's receive buffer overflows. Standard error must account for
// every datagram that the report does not show.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sender/scan_source.h"
#include "telegram/report_format.h"
#include "telegram/report_model_test_util.h"
#include "telegram/telegram_layout.h"
#include "tests/end_to_end_test_util.h"
#include "bench/port_drops.h"

namespace {

using namespace e2e;  // NOLINT(google-build-using-namespace): the tests' own helpers

// The drops that the kernel counts for the socket on the receiver's port,
// or -1 if there is none.
long PortDrops() {
  long drops = -1;
  return ReadPortDrops(kReceiverPort, &drops) ? drops : -1;
}

// The number of type lines in a report.
long TypeLines(const std::string& out) {
  long count = 0;
  for (size_t at = out.find("--> Telegram Type: "); at != std::string::npos; at = out.find("--> Telegram Type: ", at + 1)) {
    ++count;
  }
  return count;
}

// The number after `words` in the last line of `text` that holds them, or -1.
long NumberAfter(const std::string& text, const std::string& words) {
  const size_t at = text.rfind(words);
  if (at == std::string::npos) return -1;
  return strtol(text.c_str() + at + words.size(), nullptr, 10);
}

TEST(LostDatagrams, ReportedAndSaidLostAddUpToWhatWasSent) {
  // Fewer than a whole run, so that the receiver waits at the end and is
  // interrupted; more than any receive buffer it can be granted holds.
  const int kSent = 600;
  std::vector<std::string> datagrams;
  std::vector<unsigned char> telegram(kMaxDatagramSize);
  for (int i = 0; i < kSent; ++i) {
    const size_t n = BuildBlockTelegram(telegram.data(), kMaxDatagramSize, static_cast<uint32_t>(i + 1), 0);
    datagrams.emplace_back(telegram.begin(), telegram.begin() + static_cast<long>(n));
  }

  Child receiver;
  int output = -1;
  ASSERT_TRUE(StartIntoPipe(&receiver, ReceiverCommand(), &output));
  // The banner, and then nothing: the reader stalls.
  std::string out(AsWritten(kBanner).size(), '\0');
  for (size_t got = 0; got < out.size();) {
    const ssize_t n = read(output, &out[got], out.size() - got);
    ASSERT_GT(n, 0) << "no banner";
    got += static_cast<size_t>(n);
  }
  ASSERT_EQ(out, AsWritten(kBanner));
  {
    Sender sender;
    for (const std::string& datagram : datagrams) sender.Send(datagram);
  }

  // The reader comes back; the receiver takes what the socket kept and,
  // about to wait again, says what it lost.
  std::mutex lock;
  std::thread reader([&] {
    char chunk[65536];
    ssize_t n;
    while ((n = read(output, chunk, sizeof chunk)) > 0) {
      std::lock_guard<std::mutex> hold(lock);
      out.append(chunk, static_cast<size_t>(n));
    }
    close(output);
  });
  // Once every datagram sent is either reported or dropped, as the kernel
  // counts them for the socket, the receiver is interrupted in its wait.
  const bool accounted = WaitUntil([&] {
    std::lock_guard<std::mutex> hold(lock);
    return TypeLines(out) + PortDrops() == kSent;
  });
  kill(receiver.pid, SIGINT);
  ASSERT_TRUE(WaitForExit(&receiver));
  reader.join();
  ASSERT_TRUE(accounted) << TypeLines(out) << " reported, " << PortDrops() << " dropped";

  const long lost = UnderWine() ? NumberAfter(receiver.err, "in all, the system could not deliver ")
                                : NumberAfter(receiver.err, "telegram-receiver: lost ");
  ASSERT_NE(receiver.err.find(UnderWine() ? "UDP datagrams during the run" : " datagrams in all\n"),
            std::string::npos)
      << receiver.err;
  // The report: the banner, then the whole report of each datagram that was
  // received, in the order sent, and nothing of the others.
  std::string expected = AsWritten(kBanner);
  long reported = 0;
  for (size_t at = out.find(" ScanNo:"); at != std::string::npos; at = out.find(" ScanNo:", at + 1)) {
    const long scan = strtol(out.c_str() + at + 8, nullptr, 10);
    ASSERT_GE(scan, 1);
    ASSERT_LE(scan, kSent);
    expected += AsWritten(ModelReport(datagrams[static_cast<size_t>(scan - 1)]));
    ++reported;
  }
  EXPECT_GT(lost, 0);
  EXPECT_EQ(reported + lost, kSent) << reported << " reported; standard error: " << receiver.err;
  EXPECT_EQ(out.size(), expected.size());
  EXPECT_TRUE(out == expected) << "the report is not that of the datagrams received, in order";
}

// The demo, its output stalled while it sends a whole run of the largest
// blocks: it says how many telegrams the receiver reported, stops it, and
// the receiver says how many it lost.
TEST(LostDatagrams, TheDemoSaysWhatTheReceiverReported) {
  if (UnderWine()) GTEST_SKIP() << "the Windows demo ends its receiver without its last words";
  Child demo;
  int output = -1;
  ASSERT_TRUE(StartIntoPipe(&demo,
                            Command("TELEGRAM_SENDER", {"--receiver", Env("TELEGRAM_RECEIVER"), "--no-beam",
                                                        "--blocks", "1", "--scans", "1000", "--size", "65507"}),
                            &output));
  // Nothing is read until the receiver's socket has dropped datagrams.
  ASSERT_TRUE(WaitUntil([] { return PortDrops() > 0; })) << "no datagram was dropped";
  const std::string out = ReadToEnd(output);
  ASSERT_TRUE(WaitForExit(&demo));

  const long reported = TypeLines(out);
  const long lost = NumberAfter(demo.err, "telegram-receiver: lost ");
  EXPECT_EQ(demo.exit_code, 1);
  EXPECT_NE(demo.err.find("reported " + std::to_string(reported) +
                          " of the 1000 telegrams sent and then waited for more: stopped it"),
            std::string::npos)
      << demo.err;
  EXPECT_NE(demo.err.find(" datagrams in all\n"), std::string::npos) << demo.err;
  EXPECT_EQ(reported + lost, 1000) << demo.err;
}

}  // namespace
