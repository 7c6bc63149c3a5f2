// telegram-sender --replay as a user runs it: a capture of a session, with
// other traffic in it and its largest blocks in IP fragments, played into
// the receiver, whose report must be that of the captured telegrams, byte
// for byte; and a damaged capture, of which nothing is sent.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
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

namespace {


// Datagrams that reached the port's holder, up to half a second after the
// last.
int DatagramsReceived(const PortHolder& holder) {
  int received = 0;
  char byte;
  pollfd entry = {holder.fd(), POLLIN, 0};
  while (poll(&entry, 1, 500) == 1 && recv(holder.fd(), &byte, 1, MSG_DONTWAIT) >= 0) ++received;
  return received;
}

// Runs telegram-sender --replay on `capture`, with `args` after it.
void Replay(Child* sender, const std::string& capture, std::vector<std::string> args = {}) {
  std::vector<std::string> all = {"--replay", ForProgram(capture)};
  all.insert(all.end(), args.begin(), args.end());
  ASSERT_TRUE(Start(sender, Command("TELEGRAM_SENDER", all)));
  ASSERT_TRUE(WaitForExit(sender));
}

Bytes Frame(uint32_t scan) { return WithEthernet(UdpOverIpv4(Telegram(100, 6, 100, 0, scan), 9999, 1)[0]); }

}  // namespace

// A capture stopped hard ends inside a record: its whole records are sent,
// and where it was cut is said; the analyser reads such a file the same way.
// One cut before its first whole packet sends nothing.
TEST(Replay, ACaptureCutShortIsSentAsFarAsItsWholeRecordsGo) {
  const std::vector<TestPacket> packets = {{0, Frame(1)}, {1000000, Frame(2)}, {2000000, Frame(3)},
                                           {3000000, Frame(4)}, {4000000, Frame(5)}};
  const Bytes whole = WritePcap(packets, kLinkEthernet, false, false);
  const TempFolder folder;
  const std::string capture = folder.path + "/session.pcap";
  // Cut inside its last packet: the four whole ones before it are sent.
  ASSERT_TRUE(WriteBytesToFile(capture, Bytes(whole.begin(), whole.end() - 10)));
  PortHolder holder;
  ASSERT_TRUE(holder.Bind()) << strerror(errno);
  Child sender;
  Replay(&sender, capture);
  EXPECT_EQ(sender.exit_code, 0) << sender.err;
  const size_t last_record = whole.size() - packets.back().bytes.size() - 16;
  EXPECT_NE(sender.err.find(AsWritten("telegram-sender: " + ForProgram(capture) + ": cut short at byte " +
                                      std::to_string(last_record) + " (the packet record needs " +
                                      std::to_string(16 + packets.back().bytes.size()) + " bytes, the file has " +
                                      std::to_string(6 + packets.back().bytes.size()) +
                                      " bytes left): its 4 whole packets are replayed\n")),
            std::string::npos)
      << sender.err;
  EXPECT_NE(sender.err.find("sent 4 telegrams"), std::string::npos) << sender.err;
  EXPECT_EQ(DatagramsReceived(holder), 4);

  ASSERT_TRUE(WriteBytesToFile(capture, Bytes(whole.begin(), whole.begin() + 24 + 20)));
  Child none;
  Replay(&none, capture);
  EXPECT_EQ(none.exit_code, 2);
  EXPECT_EQ(none.err, AsWritten("telegram-sender: " + ForProgram(capture) + ": cut short before its first whole "
                                "packet: the packet record needs " + std::to_string(16 + packets[0].bytes.size()) +
                                " bytes, the file has 20 bytes left (at byte 24)\n"));
  EXPECT_EQ(DatagramsReceived(holder), 0);
}

// Damage before the end: one line with the file and the byte, status 2, and
// not one datagram sent, though whole packets come before it.
TEST(Replay, NothingOfADamagedCaptureIsSent) {
  const std::vector<TestPacket> packets = {{0, Frame(1)}, {1000000, Frame(2)}, {2000000, Frame(3)}};
  Bytes pcap = WritePcap(packets, kLinkEthernet, false, false);
  const size_t third_record = 24 + 2 * (16 + packets[0].bytes.size());
  pcap[third_record + 8 + 3] = 0x7F;  // its captured length: 2 GB and more
  Bytes pcapng = WritePcapng(packets, kLinkEthernet, false, 9);
  pcapng.at(pcapng.size() - 1) ^= 1;  // the last block ends with another length than it starts with
  const TempFolder folder;
  PortHolder holder;
  ASSERT_TRUE(holder.Bind()) << strerror(errno);
  const struct {
    const char* name;
    const Bytes& file;
    std::string words;
  } cases[] = {
      {"session.pcap", pcap,
       ": damaged: a packet record of " + std::to_string(0x7F000000 + packets[2].bytes.size()) +
           " bytes, more than the 262144 any capture tool writes (at byte " + std::to_string(third_record) + ")"},
      {"session.pcapng", pcapng, ": damaged: a block of type 6 ends with another length than it starts with (at "
                                 "byte "},
  };
  for (const auto& c : cases) {
    const std::string capture = folder.path + "/" + c.name;
    ASSERT_TRUE(WriteBytesToFile(capture, c.file));
    Child sender;
    Replay(&sender, capture);
    EXPECT_EQ(sender.exit_code, 2) << c.name;
    const std::string start = AsWritten("telegram-sender: " + ForProgram(capture) + c.words);
    EXPECT_EQ(sender.err.compare(0, start.size(), start), 0) << sender.err;
    EXPECT_EQ(sender.err.find('\n'), sender.err.size() - 1) << "one line: " << sender.err;
    EXPECT_EQ(DatagramsReceived(holder), 0) << c.name;
  }
}

// Pauses that a capture's clock gives, however long: the replay waits no
// longer than --max-gap, says so, and its times never wrap.
TEST(Replay, LongPausesAreShortenedAndSaid) {
  std::vector<TestPacket> packets = {{0, Frame(1)}, {0, Frame(2)}, {0, Frame(3)}, {0, Frame(4)}};
  packets[0].stamp = uint64_t{1} << 32;                      // in pcap: 1 s
  packets[1].stamp = uint64_t{0xFFFFFFFF} << 32;             // 2^32 - 2 s later
  packets[2].stamp = uint64_t{0xFFFFFFFF} << 32 | 500000;    // 0.5 s after that
  packets[3].stamp = uint64_t{5} << 32;                      // earlier: at once
  const TempFolder folder;
  PortHolder holder;
  ASSERT_TRUE(holder.Bind()) << strerror(errno);
  const std::string pcap = folder.path + "/pauses.pcap";
  ASSERT_TRUE(WriteBytesToFile(pcap, WritePcap(packets, kLinkEthernet, false, false)));
  Child sender;
  Replay(&sender, pcap, {"--max-gap", "1"});
  EXPECT_EQ(sender.exit_code, 0) << sender.err;
  EXPECT_NE(sender.err.find(AsWritten("telegram-sender: " + ForProgram(pcap) + ": 1 pause between telegrams longer "
                                      "than 1.000 s (the longest 4294967294.000 s, before telegram 2) shortened to "
                                      "1.000 s (--max-gap)\n")),
            std::string::npos)
      << sender.err;
  const size_t in = sender.err.find(" in ");
  ASSERT_NE(in, std::string::npos);
  const double seconds = strtod(sender.err.c_str() + in + 4, nullptr);
  EXPECT_GE(seconds, 1.5) << sender.err;
  EXPECT_LT(seconds, 3.0) << sender.err;
  EXPECT_EQ(DatagramsReceived(holder), 4);

  // A pcapng whose clock runs from 2^63 ns to the end of its count: the
  // same, not a wait of centuries, nor a time taken for "none".
  std::vector<TestPacket> far = {{0, Frame(1)}, {0, Frame(2)}};
  far[0].stamp = uint64_t{1} << 63;
  far[1].stamp = UINT64_MAX;
  const std::string pcapng = folder.path + "/far.pcapng";
  ASSERT_TRUE(WriteBytesToFile(pcapng, WritePcapng(far, kLinkEthernet, false, 9)));
  Child again;
  Replay(&again, pcapng, {"--max-gap", "1"});
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_NE(again.err.find("1 pause between telegrams longer than 1.000 s (the longest 9223372036.855 s"),
            std::string::npos)
      << again.err;
  EXPECT_EQ(DatagramsReceived(holder), 2);
}

// A capture far larger than its packets: memory stays what one packet
// needs, not what the file holds.
TEST(Replay, MemoryDoesNotGrowWithTheCapture) {
  if (UnderWine()) GTEST_SKIP() << "the peak memory of a Windows program is not measured here";
  if (kSanitized) GTEST_SKIP() << "a sanitized build's memory is the sanitizer's, and this process's copy counts too";
  // Written a record at a time: a child starts as a copy of this process,
  // whose memory must not count as its own.
  const Bytes one = WritePcap({TestPacket{0, WithEthernet(UdpOverIpv4(Bytes(60000, 7), 5000, 1)[0])}}, kLinkEthernet,
                              false, false);
  const TempFolder folder;
  const std::string capture = folder.path + "/large.pcap";
  FILE* file = fopen(capture.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  bool written = fwrite(one.data(), 1, 24, file) == 24;
  for (int i = 0; i < 1700; ++i) written = written && fwrite(one.data() + 24, 1, one.size() - 24, file) == one.size() - 24;
  ASSERT_TRUE(fclose(file) == 0 && written);
  Child sender;
  Replay(&sender, capture);
  EXPECT_EQ(sender.exit_code, 0) << sender.err;
  EXPECT_NE(sender.err.find("sent 0 telegrams"), std::string::npos) << sender.err;
  EXPECT_NE(sender.err.find("1700 bound for another port"), std::string::npos) << sender.err;
  // None for the port replayed: the option, and the port they went to.
  EXPECT_NE(sender.err.find(AsWritten("telegram-sender: " + ForProgram(capture) +
                                      ": no telegram in it is bound for port 9999; 1700 are bound for other ports, "
                                      "the first for port 5000: replay them with --replay-port 5000\n")),
            std::string::npos)
      << sender.err;
  EXPECT_LT(sender.peak_kilobytes, 64 * 1024) << "for a capture of " << 1700 * 60 << " KB";
}

// What was skipped adds up, a packet cut by the snap length among them.
TEST(Replay, TheSkippedAddUp) {
  const Bytes frame = Frame(1);
  std::vector<TestPacket> packets = {{0, frame}, {1000, Bytes(frame.begin(), frame.begin() + 60), frame.size()},
                                     {2000, WithEthernet(UdpOverIpv4(Bytes{1}, 5000, 2)[0])}};
  const TempFolder folder;
  const std::string capture = folder.path + "/snapped.pcap";
  ASSERT_TRUE(WriteBytesToFile(capture, WritePcap(packets, kLinkEthernet, false, false)));
  PortHolder holder;
  ASSERT_TRUE(holder.Bind()) << strerror(errno);
  Child sender;
  Replay(&sender, capture);
  EXPECT_EQ(sender.exit_code, 0) << sender.err;
  EXPECT_NE(sender.err.find("sent 1 telegrams (100 bytes) to 127.0.0.1:9999 in "), std::string::npos) << sender.err;
  EXPECT_NE(sender.err.find(AsWritten("skipped 2: 0 not UDP over IPv4, 1 bound for another port, 0 with IP fragments "
                                      "missing, 1 cut short by the capture's snap length, 0 whose IP fragments overlap "
                                      "and disagree\n")),
            std::string::npos)
      << sender.err;
  EXPECT_EQ(DatagramsReceived(holder), 1);
}
