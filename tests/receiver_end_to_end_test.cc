// The built telegram-receiver as a black box: real UDP datagrams to
// 127.0.0.1:9999, its standard output read through a pipe while sending.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "telegram/report_model_test_util.h"
#include "telegram/telegram_layout.h"
#include "tests/end_to_end_test_util.h"

namespace {

using namespace e2e;  // NOLINT(google-build-using-namespace): the tests' own helpers

std::string RandomBytes(std::mt19937* random, size_t length) {
  std::string bytes(length, '\0');
  for (char& c : bytes) c = static_cast<char>((*random)() & 0xFF);
  return bytes;
}

// A datagram of a mix that reaches every path of the reports: short
// headers, beam ranges of every kind, blocks of every size, TotalSize below
// 20, beyond the datagram or matching it.
std::string RandomDatagram(std::mt19937* random) {
  std::uniform_int_distribution<int> percent(0, 99);
  std::uniform_int_distribution<uint32_t> any32;
  const int kind = percent(*random);
  if (kind < 10) return RandomBytes(random, (*random)() % 20);  // shorter than a header
  if (kind < 30) {
    std::string d = RandomBytes(random, 40 + (*random)() % 10);  // 40 to 49: cut inside the beam range, or not
    Set(&d, 12, 1, 2);
    if (percent(*random) < 30) Set(&d, 44, 0, 2);
    if (percent(*random) < 10) {  // the all-zero range
      Set(&d, 40, 0, 2);
      Set(&d, 42, 0, 2);
      Set(&d, 44, 0, 2);
    }
    return d;
  }
  if (kind < 85) {
    size_t length = percent(*random) < 3 ? kMaxDatagramSize - (*random)() % 2 : 20 + (*random)() % 1500;
    std::string d = RandomBytes(random, length);
    Set(&d, 12, 6, 2);
    const uint32_t blocks[] = {0, 1, 0, 1, 2, 9, 65535};
    Set(&d, 14, blocks[(*random)() % 7], 2);
    const int size_kind = percent(*random);
    uint32_t total = static_cast<uint32_t>(length);
    if (size_kind < 15) total = (*random)() % 22;
    else if (size_kind < 30) total = any32(*random);
    else if (size_kind < 45) total = static_cast<uint32_t>(length / 2);
    Set(&d, 0, total, 4);
    return d;
  }
  std::string d = RandomBytes(random, 14 + (*random)() % 60);
  if (percent(*random) < 50) Set(&d, 12, (*random)() % 8, 2);
  return d;
}

class EndToEnd : public testing::Test {
 protected:
  void TearDown() override { Reap(&receiver); }
  Child receiver;
};

TEST_F(EndToEnd, ThousandMixedTelegramsReportedByteForByte) {
  ASSERT_TRUE(Start(&receiver, ReceiverCommand()));
  ASSERT_TRUE(WaitForOutput(&receiver, AsWritten(kBanner).size())) << "no banner";
  Sender sender;
  ASSERT_TRUE(sender.open);

  std::mt19937 random(20261208);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same datagrams every run
  std::string expected = kBanner;
  size_t batch_bytes = 0;
  for (int i = 0; i < 1000; ++i) {
    std::string d = RandomDatagram(&random);
    if (i == 999) d = std::string(20, '\0');  // the last one is reported in full too
    sender.Send(d);
    expected += ModelReport(d);
    batch_bytes += d.size() + 64;
    // Let the receiver catch up now and then, so that no datagram outruns
    // the socket's default receive buffer. It must have put out everything
    // so far by the time it waits again.
    if (batch_bytes > size_t{64} * 1024 || i % 50 == 49) {
      ASSERT_TRUE(WaitForOutput(&receiver, AsWritten(expected).size()))
          << "after datagram " << i << ", output so far:\n" << OutputSoFar(&receiver).substr(0, 2000);
      batch_bytes = 0;
    }
  }
  expected += kClosing;
  ASSERT_TRUE(WaitForExit(&receiver));
  EXPECT_EQ(receiver.exit_code, 0);
  EXPECT_EQ(receiver.err, "") << "nothing was lost, so nothing is said";
  EXPECT_EQ(receiver.out.size(), AsWritten(expected).size());
  EXPECT_TRUE(receiver.out == AsWritten(expected)) << "output differs";
}

TEST_F(EndToEnd, TakenPortIsReportedWithAddressInUse) {
  {
    PortHolder holder;
    ASSERT_TRUE(holder.Bind()) << strerror(errno);
    ASSERT_TRUE(Start(&receiver, ReceiverCommand()));
    ASSERT_TRUE(WaitForExit(&receiver)) << OutputSoFar(&receiver);
  }
  EXPECT_EQ(receiver.out, AsWritten(kBanner + "WSAGetLastError: 10048\r\n" + kClosing));
  EXPECT_EQ(receiver.exit_code, 1);
  // Said once in words on standard error too, which a user sees when the
  // report goes to a file.
  EXPECT_EQ(receiver.err, AsWritten("telegram-receiver: cannot bind UDP port 9999: address already in use (10048)\n"));
}

TEST_F(EndToEnd, ArgumentsAreNamedOnceAndIgnored) {
  const std::vector<std::vector<std::string>> arguments = {{"--help"}, {"/?", "--port", "80"}};
  const std::vector<std::string> said = {"'--help' is ignored", "'/?' and 2 more are ignored"};
  const std::string report = AsWritten(kBanner + "WSAGetLastError: 10048\r\n" + kClosing);
  for (size_t i = 0; i < arguments.size(); ++i) {
    PortHolder holder;
    ASSERT_TRUE(holder.Bind()) << strerror(errno);
    std::vector<std::string> command = ReceiverCommand();
    command.insert(command.end(), arguments[i].begin(), arguments[i].end());
    Child with_arguments;
    ASSERT_TRUE(Start(&with_arguments, command));
    ASSERT_TRUE(WaitForExit(&with_arguments));
    // The report and the status are those of a run without arguments.
    EXPECT_EQ(with_arguments.out, report);
    EXPECT_EQ(with_arguments.exit_code, 1);
    EXPECT_EQ(with_arguments.err,
              AsWritten("telegram-receiver: takes no arguments, so " + said[i] +
                        "; receiving on UDP port 9999 (" +
                        (UnderWine() ? "README.txt beside it says more" : "its README and man page say more") +
                        ")\n"
                        "telegram-receiver: cannot bind UDP port 9999: address already in use (10048)\n"));
  }
}

TEST_F(EndToEnd, LinesAreVisibleOnAPipeWhileTheProgramWaits) {
  ASSERT_TRUE(Start(&receiver, ReceiverCommand()));
  ASSERT_TRUE(WaitForOutput(&receiver, AsWritten(kBanner).size())) << "no banner while waiting";
  Sender sender;
  std::string block(26, '\0');
  Set(&block, 0, 26, 4);
  Set(&block, 12, 6, 2);
  Set(&block, 16, 42, 4);
  Set(&block, 20, 100, 2);
  Set(&block, 22, 200, 2);
  Set(&block, 24, 300, 2);
  sender.Send(block);
  std::string expected = kBanner + "--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:42\t BlockNo:0\r\n\n100\t200\t300\t";
  ASSERT_TRUE(WaitForOutput(&receiver, AsWritten(expected).size())) << OutputSoFar(&receiver);
  EXPECT_EQ(OutputSoFar(&receiver), AsWritten(expected));
  EXPECT_TRUE(StillRunning(&receiver));

  // 999 empty datagrams finish the run: each a successful receive of 0 bytes.
  for (int i = 0; i < 999; ++i) {
    sender.Send("");
    expected += "--> Telegram Type: 0\r\n";
    if (i % 100 == 99) {
      ASSERT_TRUE(WaitForOutput(&receiver, AsWritten(expected).size()));
    }
  }
  ASSERT_TRUE(WaitForExit(&receiver));
  EXPECT_EQ(receiver.out, AsWritten(expected + kClosing));
  EXPECT_EQ(receiver.exit_code, 0);
}

TEST_F(EndToEnd, SenderPlaysAWholeRunOfScans) {
  ASSERT_TRUE(Start(&receiver, ReceiverCommand()));
  ASSERT_TRUE(WaitForOutput(&receiver, AsWritten(kBanner).size()));
  Child sender;
  ASSERT_TRUE(Start(&sender, Command("TELEGRAM_SENDER",
                                     {"--scans", "250", "--blocks", "3", "--size", "61", "--rate", "5000"})));
  ASSERT_TRUE(WaitForExit(&sender));
  EXPECT_EQ(sender.exit_code, 0) << sender.err;
  EXPECT_NE(sender.err.find("sent 1000 telegrams"), std::string::npos) << sender.err;
  ASSERT_TRUE(WaitForExit(&receiver));
  EXPECT_EQ(receiver.exit_code, 0);
  EXPECT_EQ(receiver.err, "");
  EXPECT_TRUE(receiver.out == AsWritten(WholeRunReport(61))) << "output differs; first 1000 bytes:\n"
                                                             << receiver.out.substr(0, 1000);
}

}  // namespace
