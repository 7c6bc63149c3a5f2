// The built receiver under hostile conditions: outputs that are slow, that
// take nothing for a while or that fail for good, interrupts in the middle
// of a burst, standard streams closed at start. Whatever happens, what
// reached the output is an exact prefix of the report, and after an
// interrupt it ends with a whole report.
//
// Most of these concern POSIX descriptors and signals, and run against the
// native build only; under Wine only Ctrl-C (which Wine makes of SIGINT) is
// tried.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sender/scan_source.h"
#include "telegram/report_model_test_util.h"
#include "telegram/telegram_layout.h"
#include "tests/end_to_end_test_util.h"
#include "tests/file_test_util.h"

namespace {

using namespace e2e;  // NOLINT(google-build-using-namespace): the tests' own helpers

// Block-0 telegrams of 1,420 bytes, each with its own scan number, and the
// report of each.
struct Burst {
  std::vector<std::string> datagrams;
  std::vector<std::string> reports;
};

Burst MakeBurst(int count) {
  Burst burst;
  std::vector<unsigned char> telegram(kMaxDatagramSize);
  for (int i = 0; i < count; ++i) {
    const size_t n = BuildBlockTelegram(telegram.data(), 1420, static_cast<uint32_t>(i + 1), 0);
    burst.datagrams.emplace_back(telegram.begin(), telegram.begin() + static_cast<long>(n));
    burst.reports.push_back(AsWritten(ModelReport(burst.datagrams.back())));
  }
  return burst;
}

std::string Joined(const std::vector<std::string>& parts, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += parts[i];
  return text;
}

// The number of whole reports `out` holds after the banner, or -1 if it is
// not exactly the banner and that many whole reports.
long WholeReports(const std::string& out, const Burst& burst) {
  const std::string banner = AsWritten(kBanner);
  if (out.compare(0, banner.size(), banner) != 0) return -1;
  size_t at = banner.size();
  long count = 0;
  while (at < out.size() && static_cast<size_t>(count) < burst.reports.size()) {
    const std::string& report = burst.reports[static_cast<size_t>(count)];
    if (out.compare(at, report.size(), report) != 0) return -1;
    at += report.size();
    ++count;
  }
  return at == out.size() ? count : -1;
}

// A file for the report, removed with the test.
struct TempFile {
  std::string path = "/tmp/telegram-report.XXXXXX";
  int fd = mkstemp(path.data());
  ~TempFile() {
    if (fd >= 0) close(fd);
    unlink(path.c_str());
  }
  long Size() const {
    struct stat info;
    return fstat(fd, &info) == 0 ? static_cast<long>(info.st_size) : -1;
  }
};

// Reads a pipe in small bites with a pause between them, as a slow consumer
// does; stops for good after `stop_after` bytes, closing its end. It also
// stops when it goes out of scope, so that a test that fails early ends at
// once instead of waiting for a receiver that is still running.
struct SlowReader {
  int fd;
  size_t stop_after;
  std::atomic<size_t> bytes{0};
  std::atomic<bool> stop{false};
  std::mutex lock;
  std::string text;
  std::thread thread;

  SlowReader(int read_end, size_t limit) : fd(read_end), stop_after(limit) {
    thread = std::thread([this] {
      char bite[4096];
      while (!stop) {
        pollfd entry = {fd, POLLIN, 0};
        if (poll(&entry, 1, 100) == 0) continue;
        const ssize_t n = read(fd, bite, sizeof bite);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        {
          std::lock_guard<std::mutex> hold(lock);
          text.append(bite, static_cast<size_t>(n));
        }
        bytes += static_cast<size_t>(n);
        if (bytes >= stop_after) break;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
      close(fd);
    });
  }
  ~SlowReader() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
  std::string Text() {
    std::lock_guard<std::mutex> hold(lock);
    return text;
  }
};

TEST(HostileOutput, NonBlockingPipeWithASlowReaderGetsEveryByteInOrder) {
  if (UnderWine()) GTEST_SKIP() << "POSIX descriptors";
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);  // the child keeps no read end open
  // The child's standard output shares this open file, non-blocking: as
  // when a parent sets O_NONBLOCK on a pipe it hands on.
  ASSERT_EQ(fcntl(ends[1], F_SETFL, fcntl(ends[1], F_GETFL) | O_NONBLOCK), 0);
  Child receiver;
  StartOptions options;
  options.out_fd = ends[1];
  ASSERT_TRUE(Start(&receiver, ReceiverCommand(), options));
  close(ends[1]);
  SlowReader reader(ends[0], SIZE_MAX);

  const Burst burst = MakeBurst(1000);
  const std::string expected = AsWritten(kBanner) + Joined(burst.reports, 1000) + AsWritten(kClosing);
  Sender sender;
  std::string so_far = AsWritten(kBanner);
  ASSERT_TRUE(WaitUntil([&] { return reader.bytes >= so_far.size(); }));
  for (size_t i = 0; i < burst.datagrams.size(); ++i) {
    sender.Send(burst.datagrams[i]);
    so_far += burst.reports[i];
    // Now and then let the slow reader catch up, so that no datagram
    // outruns the socket's receive buffer.
    if (i % 50 == 49) {
      ASSERT_TRUE(WaitUntil([&] { return reader.bytes >= so_far.size(); })) << i;
    }
  }
  ASSERT_TRUE(WaitForExit(&receiver));
  reader.thread.join();
  EXPECT_EQ(receiver.exit_code, 0) << receiver.err;
  EXPECT_EQ(receiver.err, "");
  const std::string text = reader.Text();
  EXPECT_EQ(text.size(), expected.size());
  EXPECT_TRUE(text == expected) << "the report has a hole or is out of order";
}

// Sends the burst a little at a time until the receiver ends; the number sent.
size_t SendUntilItEnds(const Burst& burst, Child* receiver) {
  Sender sender;
  size_t sent = 0;
  while (sent < burst.datagrams.size() && StillRunning(receiver)) {
    for (size_t i = 0; i < 20 && sent < burst.datagrams.size(); ++i) sender.Send(burst.datagrams[sent++]);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return sent;
}

// A write that failed for good ends the run: by its signal, or where that
// is ignored, with status 1 and the failure in words.
void ExpectEndedByWriteFailure(const Child& receiver, bool signal_ignored, int signal_number, int error) {
  if (signal_ignored) {
    EXPECT_EQ(receiver.exit_code, 1);
    EXPECT_EQ(receiver.err, std::string("telegram-receiver: cannot write the report: ") + strerror(error) + "\n");
  } else {
    EXPECT_EQ(receiver.signal, signal_number);
  }
}

TEST(HostileOutput, OutputThatFailsForGoodEndsTheRunAtOnceWithAnExactPrefix) {
  if (UnderWine()) GTEST_SKIP() << "POSIX descriptors and signals";
  const Burst burst = MakeBurst(1000);
  const std::string expected = AsWritten(kBanner) + Joined(burst.reports, 1000) + AsWritten(kClosing);

  // A reader that goes away: EPIPE where SIGPIPE is ignored, else the
  // signal's default action, as for any filter (`telegram-receiver | head`).
  for (bool ignore_sigpipe : {true, false}) {
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);  // the child keeps no read end open
    Child receiver;
    StartOptions options;
    options.out_fd = ends[1];
    options.ignore_sigpipe = ignore_sigpipe;
    ASSERT_TRUE(Start(&receiver, ReceiverCommand(), options));
    close(ends[1]);
    SlowReader reader(ends[0], 100000);
    ASSERT_TRUE(WaitUntil([&] { return reader.bytes >= AsWritten(kBanner).size(); }));
    const size_t sent = SendUntilItEnds(burst, &receiver);
    ASSERT_TRUE(WaitForExit(&receiver));
    EXPECT_LT(sent, burst.datagrams.size()) << "it went on receiving after the failure";
    ExpectEndedByWriteFailure(receiver, ignore_sigpipe, SIGPIPE, EPIPE);
    reader.thread.join();
    const std::string text = reader.Text();
    EXPECT_GE(text.size(), size_t{100000});
    EXPECT_EQ(expected.compare(0, text.size(), text), 0) << "not a prefix of the report";
  }

  // A file that may grow no further: EFBIG where SIGXFSZ is ignored, else
  // the signal's default action. A full disk (ENOSPC) takes the same path.
  for (bool ignore_sigxfsz : {true, false}) {
    TempFile file;
    ASSERT_GE(file.fd, 0);
    Child receiver;
    StartOptions options;
    options.out_fd = file.fd;
    options.file_size_limit = 100000;
    options.ignore_sigxfsz = ignore_sigxfsz;
    ASSERT_TRUE(Start(&receiver, ReceiverCommand(), options));
    ASSERT_TRUE(WaitUntil([&] { return file.Size() >= static_cast<long>(AsWritten(kBanner).size()); }));
    const size_t sent = SendUntilItEnds(burst, &receiver);
    ASSERT_TRUE(WaitForExit(&receiver));
    EXPECT_LT(sent, burst.datagrams.size()) << "it went on receiving after the failure";
    ExpectEndedByWriteFailure(receiver, ignore_sigxfsz, SIGXFSZ, EFBIG);
    const std::string text = ReadWholeFile(file.path);
    EXPECT_EQ(text.size(), size_t{100000});
    EXPECT_EQ(expected.compare(0, text.size(), text), 0) << "not a prefix of the report";
  }
}

TEST(Interrupt, DuringABurstEveryReportOfADatagramTakenIsWhole) {
  // Wine makes Ctrl-C of SIGINT; it ends a process by SIGTERM or SIGHUP at once.
  std::vector<int> signals = {SIGINT, SIGTERM, SIGHUP};
  if (UnderWine()) signals = {SIGINT};
  const Burst burst = MakeBurst(999);
  for (int signal_number : signals) {
    for (int pause_us : {0, 300, 1000}) {
      TempFile file;
      ASSERT_GE(file.fd, 0);
      Child receiver;
      StartOptions options;
      options.out_fd = file.fd;
      ASSERT_TRUE(Start(&receiver, ReceiverCommand(), options));
      ASSERT_TRUE(WaitUntil([&] { return file.Size() >= static_cast<long>(AsWritten(kBanner).size()); }));
      // Stopped, the receiver lets the datagrams queue; let run, it is in
      // the middle of them when the signal comes.
      kill(receiver.pid, SIGSTOP);
      {
        Sender sender;
        for (const std::string& datagram : burst.datagrams) sender.Send(datagram);
      }
      kill(receiver.pid, SIGCONT);
      std::this_thread::sleep_for(std::chrono::microseconds(pause_us));
      kill(receiver.pid, signal_number);
      ASSERT_TRUE(WaitForExit(&receiver));
      if (!UnderWine()) {
        EXPECT_EQ(receiver.signal, signal_number) << "ended as the signal ends it, not by an exit status";
      }
      const std::string text = ReadWholeFile(file.path);
      EXPECT_GE(WholeReports(text, burst), 0) << "signal " << signal_number << " after " << pause_us
                                              << " us: not the banner and whole reports; " << text.size()
                                              << " bytes, ending in: " << text.substr(text.size() - 80);
    }
  }
}

TEST(Interrupt, WhileWaitingNothingReceivedIsLost) {
  // Also with the interrupts blocked by whoever started it: the wait must
  // let them in all the same.
  std::vector<bool> blocked = {false, true};
  if (UnderWine()) blocked = {false};
  const Burst burst = MakeBurst(10);
  for (bool block_interrupts : blocked) {
    Child receiver;
    StartOptions options;
    options.block_interrupts = block_interrupts;
    ASSERT_TRUE(Start(&receiver, ReceiverCommand(), options));
    ASSERT_TRUE(WaitForOutput(&receiver, AsWritten(kBanner).size()));
    Sender sender;
    for (const std::string& datagram : burst.datagrams) sender.Send(datagram);
    const std::string expected = AsWritten(kBanner) + Joined(burst.reports, 10);
    ASSERT_TRUE(WaitForOutput(&receiver, expected.size()));
    kill(receiver.pid, SIGINT);
    ASSERT_TRUE(WaitForExit(&receiver)) << "started with interrupts blocked: " << block_interrupts;
    if (!UnderWine()) {
      EXPECT_EQ(receiver.signal, SIGINT) << "ended as the signal ends it, not by an exit status";
      EXPECT_EQ(receiver.exit_code, -1);
    }
    EXPECT_EQ(receiver.out, expected) << "no closing lines after an interrupt";
  }
}

// The reader stopped reading, so the receiver waits to write: an interrupt
// still ends it, by the signal, within its second of grace; what the pipe
// holds is an exact prefix of the report. The same where the pipe is a
// terminal's stand-in shared with others: it is left blocking for them.
TEST(Interrupt, WhileTheReaderStopsReadingTheRunEndsWithAnExactPrefix) {
  if (UnderWine()) GTEST_SKIP() << "Wine ends a process by SIGTERM or SIGHUP at once";
  const Burst burst = MakeBurst(200);
  const std::string expected = AsWritten(kBanner) + Joined(burst.reports, burst.reports.size());
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    Child receiver;
    StartOptions options;
    options.out_fd = ends[1];
    ASSERT_TRUE(Start(&receiver, ReceiverCommand(), options));
    // The pipe stays blocking for whoever else holds its write end.
    EXPECT_EQ(fcntl(ends[1], F_GETFL) & O_NONBLOCK, 0);
    close(ends[1]);
    // The banner: the receiver is bound. From now on nothing is read.
    std::string text(AsWritten(kBanner).size(), '\0');
    ASSERT_EQ(read(ends[0], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    {
      Sender sender;
      for (const std::string& datagram : burst.datagrams) sender.Send(datagram);
    }
    // 200 reports of 6 KB or so fill the pipe's 64 KB long before the end.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(StillRunning(&receiver));
    const auto sent = std::chrono::steady_clock::now();
    kill(receiver.pid, signal_number);
    ASSERT_TRUE(WaitForExit(&receiver));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
    EXPECT_LT(seconds, 5.0) << "signal " << signal_number;
    EXPECT_EQ(receiver.signal, signal_number);
    text += ReadToEnd(ends[0]);
    EXPECT_GT(text.size(), size_t{32768}) << "the pipe was full";
    EXPECT_LT(text.size(), expected.size());
    EXPECT_EQ(expected.compare(0, text.size(), text), 0) << "signal " << signal_number << ": not a prefix";
  }
}

// The same where standard output is a terminal that nobody reads (a stalled
// pty): the receiver waits to write, and an interrupt still ends it.
TEST(Interrupt, WhileATerminalIsStalledTheRunEnds) {
  if (UnderWine()) GTEST_SKIP() << "a POSIX terminal";
  const Burst burst = MakeBurst(200);
  const std::string expected = AsWritten(kBanner) + Joined(burst.reports, burst.reports.size());
  int terminal = -1;
  int device = -1;
  ASSERT_EQ(openpty(&terminal, &device, nullptr, nullptr, nullptr), 0) << strerror(errno);
  termios raw = {};
  ASSERT_EQ(tcgetattr(device, &raw), 0);
  cfmakeraw(&raw);  // the bytes as written, so that they can be compared
  ASSERT_EQ(tcsetattr(device, TCSANOW, &raw), 0);
  Child receiver;
  StartOptions options;
  options.out_fd = device;
  ASSERT_TRUE(Start(&receiver, ReceiverCommand(), options));
  close(device);
  std::string text;
  while (text.size() < AsWritten(kBanner).size()) {
    char chunk[64];
    const ssize_t n = read(terminal, chunk, std::min(sizeof chunk, AsWritten(kBanner).size() - text.size()));
    ASSERT_GT(n, 0);
    text.append(chunk, static_cast<size_t>(n));
  }
  {
    Sender sender;
    for (const std::string& datagram : burst.datagrams) sender.Send(datagram);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(StillRunning(&receiver)) << "the terminal is full";
  const auto sent = std::chrono::steady_clock::now();
  kill(receiver.pid, SIGINT);
  ASSERT_TRUE(WaitForExit(&receiver));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(), 5.0);
  EXPECT_EQ(receiver.signal, SIGINT);
  for (;;) {
    pollfd entry = {terminal, POLLIN, 0};
    char chunk[65536];
    if (poll(&entry, 1, 200) <= 0) break;
    const ssize_t n = read(terminal, chunk, sizeof chunk);
    if (n <= 0) break;
    text.append(chunk, static_cast<size_t>(n));
  }
  close(terminal);
  EXPECT_LT(text.size(), expected.size());
  EXPECT_EQ(expected.compare(0, text.size(), text), 0) << "not a prefix";
}

TEST(StandardStreams, ClosedOutputAtStartEndsTheRunBeforeAnySocket) {
  if (UnderWine()) GTEST_SKIP() << "Wine opens missing descriptors itself";
  // Port 9999 is held: were a socket opened and bound, the error would say so.
  PortHolder holder;
  ASSERT_TRUE(holder.Bind()) << strerror(errno);
  Child receiver;
  StartOptions options;
  options.close_out = true;
  ASSERT_TRUE(Start(&receiver, ReceiverCommand(), options));
  ASSERT_TRUE(WaitForExit(&receiver));
  EXPECT_EQ(receiver.exit_code, 1);
  EXPECT_EQ(receiver.err, "telegram-receiver: standard output is closed, so the report has nowhere to go\n");
}

TEST(StandardStreams, ClosedInputAndErrorAreNotTakenByTheSocket) {
  if (UnderWine()) GTEST_SKIP() << "Wine opens missing descriptors itself";
  Child receiver;
  StartOptions options;
  options.close_in_and_err = true;
  ASSERT_TRUE(Start(&receiver, ReceiverCommand(), options));
  ASSERT_TRUE(WaitForOutput(&receiver, AsWritten(kBanner).size()));
  for (int fd : {0, 2}) {
    char target[256] = "";
    const std::string link = "/proc/" + std::to_string(receiver.pid) + "/fd/" + std::to_string(fd);
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    EXPECT_EQ(std::string(target, n > 0 ? static_cast<size_t>(n) : 0), "/dev/null") << "descriptor " << fd;
  }
  const Burst burst = MakeBurst(1000);
  Sender sender;
  for (size_t i = 0; i < burst.datagrams.size(); ++i) {
    sender.Send(burst.datagrams[i]);
    if (i % 100 == 99) {
      ASSERT_TRUE(WaitForOutput(&receiver, AsWritten(kBanner).size() + Joined(burst.reports, i + 1).size()));
    }
  }
  ASSERT_TRUE(WaitForExit(&receiver));
  EXPECT_EQ(receiver.exit_code, 0);
  EXPECT_TRUE(receiver.out == AsWritten(kBanner) + Joined(burst.reports, 1000) + AsWritten(kClosing));
}

}  // namespace
