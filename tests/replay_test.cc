// telegram-sender --replay as a user runs it: a capture of a session, with
// other traffic in it and its largest blocks in IP fragments, played into
// the receiver, whose report must be that of the captured telegrams, byte
// for byte; and a damaged capture, of which nothing is sent.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture/capture_writer_test_util.h"
#include "capture/udp_datagrams.h"
#include "telegram/report_model_test_util.h"
#include "telegram/telegram_layout.h"
#include "telegram/telegram_writer.h"
#include "tests/end_to_end_test_util.h"

namespace {

using namespace e2e;  // NOLINT(google-build-using-namespace): the tests' own helpers

// A telegram of `size` bytes: type 1 with a beam range or type 6 with a
// block of values, TotalSize as given.
Bytes Telegram(size_t size, uint16_t type, uint32_t total_size, uint16_t block, uint32_t scan) {
  Bytes t(size < kHeaderSize ? kHeaderSize : size, 0);
  WriteHeader(t.data(), total_size, type, block, scan);
  for (size_t i = kHeaderSize; i + 1 < t.size(); i += 2) PutU16(&t[i], static_cast<uint16_t>(i * 977 + scan));
  t.resize(size);
  return t;
}

}  // namespace

TEST(Replay, ACapturedSessionIsReportedByteForByte) {
  // 1000 telegrams of every kind, one a millisecond, and two packets that
  // are not for the receiver: ARP, and UDP to another port.
  std::vector<Bytes> telegrams;
  for (uint32_t i = 0; telegrams.size() < 1000; ++i) {
    switch (i % 10) {
      case 0: {
        Bytes beam = Telegram(46, 1, 46, 0, i);
        PutU16(&beam[kBeamStartOffset], static_cast<uint16_t>(i % 7 == 0 ? 50 : 0));
        PutU16(&beam[kBeamStopOffset], 2700);
        PutU16(&beam[kBeamStepOffset], static_cast<uint16_t>(i % 20 == 0 ? 0 : 10));
        telegrams.push_back(beam);
        break;
      }
      case 1: telegrams.push_back(Telegram(i % 100 == 1 ? kMaxDatagramSize : 1420, 6, 1420, 0, i)); break;
      case 2: telegrams.push_back(Telegram(1421, 6, 1421, 1, i)); break;
      case 3: telegrams.push_back(Telegram(1420, 6, 1420, 2, i)); break;
      case 4: telegrams.push_back(Telegram(30, 6, 5000, 0, i)); break;  // TotalSize beyond the datagram
      case 5: telegrams.push_back(Telegram(13, 6, 13, 0, i)); break;     // cut before its type
      case 6: telegrams.push_back(Telegram(0, 0, 0, 0, i)); break;       // empty
      case 7: telegrams.push_back(Telegram(44, 1, 44, 0, i)); break;     // cut inside the beam range
      default: telegrams.push_back(Telegram(40, static_cast<uint16_t>(i % 9), 40, 0, i)); break;
    }
  }
  std::vector<TestPacket> packets;
  int64_t time = 1700000000000000000;
  Bytes arp = WithEthernet(Bytes(28, 0));
  arp[13] = 0x06;
  packets.push_back(TestPacket{time, arp});
  packets.push_back(TestPacket{time, WithEthernet(UdpOverIpv4(Bytes{1, 2, 3}, 5353, 1)[0])});
  std::string expected = kBanner;
  for (size_t i = 0; i < telegrams.size(); ++i) {
    time += 1000000;
    // On the wire in packets of at most 1,500 bytes, as on a real network.
    for (const Bytes& ip : UdpOverIpv4(telegrams[i], 9999, static_cast<uint16_t>(i), 1500)) {
      packets.push_back(TestPacket{time, WithEthernet(ip)});
    }
    expected += ModelReport(std::string(telegrams[i].begin(), telegrams[i].end()));
  }
  expected += kClosing;

  for (bool pcapng : {true, false}) {
    const TempFolder folder;
    const std::string capture = folder.path + (pcapng ? "/session.pcapng" : "/session.pcap");
    ASSERT_TRUE(WriteBytesToFile(capture, pcapng ? WritePcapng(packets, kLinkEthernet, false, 9)
                                                      : WritePcap(packets, kLinkEthernet, true, false)));
    Child receiver;
    ASSERT_TRUE(Start(&receiver, ReceiverCommand()));
    ASSERT_TRUE(WaitForOutput(&receiver, AsWritten(kBanner).size()));
    Child sender;
    ASSERT_TRUE(Start(&sender, Command("TELEGRAM_SENDER", {"--replay", ForProgram(capture)})));
    ASSERT_TRUE(WaitForExit(&sender));
    ASSERT_TRUE(WaitForExit(&receiver));
    EXPECT_EQ(sender.exit_code, 0) << sender.err;
    EXPECT_NE(sender.err.find("sent 1000 telegrams"), std::string::npos) << sender.err;
    EXPECT_NE(sender.err.find("skipped 2: 1 not UDP over IPv4, 1 bound for another port, 0 with IP fragments "
                              "missing, 0 cut short by the capture's snap length"),
              std::string::npos)
        << sender.err;
    // At the recorded pace: the last telegram 0.999 s after the first.
    const size_t in = sender.err.find(" in ");
    ASSERT_NE(in, std::string::npos);
    EXPECT_GE(strtod(sender.err.c_str() + in + 4, nullptr), 0.999) << sender.err;
    EXPECT_EQ(receiver.exit_code, 0) << receiver.err;
    EXPECT_EQ(receiver.out.size(), AsWritten(expected).size());
    EXPECT_TRUE(receiver.out == AsWritten(expected)) << (pcapng ? "pcapng" : "pcap") << ": the report differs";
  }
}

TEST(Replay, NothingOfADamagedCaptureIsSent) {
  const Bytes frame = WithEthernet(UdpOverIpv4(Telegram(100, 6, 100, 0, 1), 9999, 1)[0]);
  const std::vector<TestPacket> packets = {{0, frame}, {1000000, frame}, {2000000, frame}, {3000000, frame},
                                           {4000000, frame}};
  const Bytes whole = WritePcap(packets, kLinkEthernet, false, false);
  const TempFolder folder;
  const std::string capture = folder.path + "/session.pcap";
  // Cut inside its last packet: the four whole ones before it are not sent.
  ASSERT_TRUE(WriteBytesToFile(capture, Bytes(whole.begin(), whole.end() - 10)));
  PortHolder holder;
  ASSERT_TRUE(holder.Bind()) << strerror(errno);
  Child sender;
  ASSERT_TRUE(Start(&sender, Command("TELEGRAM_SENDER", {"--replay", ForProgram(capture)})));
  ASSERT_TRUE(WaitForExit(&sender));
  EXPECT_EQ(sender.exit_code, 2);
  const size_t last_record = whole.size() - packets.back().bytes.size() - 16;
  EXPECT_EQ(sender.err, AsWritten("telegram-sender: " + ForProgram(capture) +
                                  ": damaged or cut short: the packet record holds " +
                                  std::to_string(packets.back().bytes.size()) + " bytes, the file has " +
                                  std::to_string(packets.back().bytes.size() - 10) + " bytes left (at byte " +
                                  std::to_string(last_record) + ")\n"));
  char byte;
  EXPECT_EQ(recv(holder.fd(), &byte, 1, MSG_DONTWAIT), -1) << "a datagram was sent";
}
