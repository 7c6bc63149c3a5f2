// A capture as a source: the times its telegrams are due, and the file
// read twice, the second time no further than the first.
#include "sender/capture_source.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/capture_writer_test_util.h"
#include "capture/udp_datagrams.h"

namespace {

namespace fs = std::filesystem;

const int64_t kSecond = 1000000000;

// A folder of its own, removed with what is in it.
struct Scratch {
  fs::path path;
  Scratch() {
    path = fs::temp_directory_path() / ("capture-source-test-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::create_directories(path);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

// A pcap of one datagram to port 9999 at each of `seconds`, its payload
// byte its place.
Bytes CaptureAt(const std::vector<int64_t>& seconds) {
  std::vector<TestPacket> packets;
  for (size_t i = 0; i < seconds.size(); ++i) {
    const Bytes payload(20, static_cast<unsigned char>(i));
    packets.push_back(TestPacket{seconds[i] * kSecond, WithEthernet(UdpOverIpv4(payload, 9999, 1)[0])});
  }
  return WritePcap(packets, 1, false, true);
}

}  // namespace

// A telegram captured earlier than one before it goes right after it: the
// replay's clock never goes back.
TEST(CaptureSource, TelegramsAreDueAtTheirTimesAndTheClockNeverGoesBack) {
  const Scratch scratch;
  const std::string file = (scratch.path / "times.pcap").string();
  ASSERT_TRUE(WriteBytesToFile(file, CaptureAt({0, 5, 3, 6})));
  CaptureSource source;
  std::string err;
  ASSERT_TRUE(source.Open(file, 9999, 60 * kSecond, &err)) << err;
  std::vector<int64_t> due;
  SourceTelegram telegram = {};
  while (source.Next(&telegram)) due.push_back(telegram.due);
  EXPECT_EQ(due, (std::vector<int64_t>{0, 5 * kSecond, 5 * kSecond, 6 * kSecond}));
  EXPECT_FALSE(source.changed());
}

// What was checked is what is sent: a file that grew between the two
// readings sends no more; one that shrank is said to have changed.
// Times far beyond what 64 bits of nanoseconds hold keep their pauses, and
// a pause beyond the bound is shortened to it and said.
TEST(CaptureSource, FarTimesKeepTheirPausesAndLongOnesAreShortened) {
  const Scratch scratch;
  const std::string file = (scratch.path / "far.pcapng").string();
  const uint64_t far = 10000000000000ULL;  // seconds, beyond the year 2262
  std::vector<TestPacket> packets;
  for (uint64_t s : {far, far + 2, far + 1000, far + 1001}) {
    packets.push_back(TestPacket{0, WithEthernet(UdpOverIpv4(Bytes(20, 1), 9999, 1)[0]), 0, s});
  }
  PcapngLayout seconds;
  seconds.resolution = 0;
  ASSERT_TRUE(WriteBytesToFile(file, WritePcapng(packets, kLinkEthernet, seconds)));
  CaptureSource source;
  std::string err;
  ASSERT_TRUE(source.Open(file, 9999, 60 * kSecond, &err)) << err;
  std::vector<int64_t> due;
  SourceTelegram telegram = {};
  while (source.Next(&telegram)) due.push_back(telegram.due);
  EXPECT_EQ(due, (std::vector<int64_t>{0, 2 * kSecond, 62 * kSecond, 63 * kSecond}));
  ASSERT_EQ(source.notes().size(), 1u);
  EXPECT_EQ(source.notes()[0], file + ": 1 pause between telegrams longer than 60.000 s (the longest 998.000 s, "
                                      "before telegram 3) shortened to 60.000 s (--max-gap)");
}

TEST(CaptureSource, TheSendingGoesNoFurtherThanTheCheck) {
  const Scratch scratch;
  const std::string file = (scratch.path / "growing.pcap").string();
  ASSERT_TRUE(WriteBytesToFile(file, CaptureAt({0, 1, 2})));
  CaptureSource grew;
  std::string err;
  ASSERT_TRUE(grew.Open(file, 9999, 60 * kSecond, &err)) << err;
  ASSERT_TRUE(WriteBytesToFile(file, CaptureAt({0, 1, 2, 3, 4})));
  int sent = 0;
  SourceTelegram telegram = {};
  while (grew.Next(&telegram)) ++sent;
  EXPECT_EQ(sent, 3);
  EXPECT_FALSE(grew.changed());

  CaptureSource shrank;
  ASSERT_TRUE(shrank.Open(file, 9999, 60 * kSecond, &err)) << err;
  ASSERT_TRUE(WriteBytesToFile(file, CaptureAt({0, 1})));
  sent = 0;
  while (shrank.Next(&telegram)) ++sent;
  EXPECT_EQ(sent, 2);
  EXPECT_TRUE(shrank.changed());
}

TEST(CaptureSource, WhatIsNoRegularFileIsRefusedBeforeAnythingIsSent) {
  const Scratch scratch;
  CaptureSource source;
  std::string err;
  EXPECT_FALSE(source.Open(scratch.path.string(), 9999, kSecond, &err));
  EXPECT_EQ(err, "cannot read the capture " + scratch.path.string() +
                     ": it is not a regular file (a replay reads the file twice; save a pipe's capture to a file first)");
  err.clear();
  EXPECT_FALSE(source.Open((scratch.path / "none.pcap").string(), 9999, kSecond, &err));
  EXPECT_EQ(err.compare(0, 24, "cannot read the capture "), 0) << err;
}

namespace {

// A pcap of datagrams to port 9999, each at its second from its sender:
// 192.0.2.1:1000 (A) or 192.0.2.7:2000 (B), its payload byte its place.
Bytes CaptureFrom(const std::vector<std::pair<int64_t, char>>& sent) {
  std::vector<TestPacket> packets;
  for (size_t i = 0; i < sent.size(); ++i) {
    Bytes ip = UdpOverIpv4(Bytes(20, static_cast<unsigned char>(i)), 9999, 1)[0];
    if (sent[i].second == 'B') {
      ip[15] = 7;     // the IPv4 source's last byte
      ip[20] = 0x07;  // the UDP source port, 2000
      ip[21] = 0xD0;
    } else {
      ip[20] = 0x03;  // 1000
      ip[21] = 0xE8;
    }
    packets.push_back(TestPacket{sent[i].first * kSecond, WithEthernet(ip)});
  }
  return WritePcap(packets, 1, false, true);
}

struct Replayed {
  std::vector<int64_t> due;
  std::vector<uint32_t> from;  // the source's last byte and port, as 7 * 100000 + 2000
};

Replayed ReplayAll(CaptureSource* source, size_t most = 1000) {
  Replayed replayed;
  SourceTelegram telegram = {};
  while (replayed.due.size() < most && source->Next(&telegram)) {
    replayed.due.push_back(telegram.due);
    replayed.from.push_back((telegram.source_address & 0xFF) * 100000 + telegram.source_port);
  }
  return replayed;
}

}  // namespace

// Each telegram carries its sender; a replay can keep some senders alone, at
// their own pace, faster or slower, and go over the capture more than once.
TEST(CaptureSource, SendersAreKeptApartPickedSpedUpAndLooped) {
  const Scratch scratch;
  const std::string file = (scratch.path / "two.pcap").string();
  ASSERT_TRUE(WriteBytesToFile(file, CaptureFrom({{0, 'A'}, {1, 'B'}, {2, 'A'}, {3, 'B'}, {4, 'A'}})));
  std::string err;
  CaptureSource all;
  ASSERT_TRUE(all.Open(file, 9999, 60 * kSecond, &err)) << err;
  EXPECT_EQ(all.senders(), 2u);
  const Replayed every = ReplayAll(&all);
  EXPECT_EQ(every.from, (std::vector<uint32_t>{101000, 702000, 101000, 702000, 101000}));
  EXPECT_EQ(every.due, (std::vector<int64_t>{0, kSecond, 2 * kSecond, 3 * kSecond, 4 * kSecond}));

  ReplayPlan plan;
  plan.max_gap = 60 * kSecond;
  SourceAddress b;
  ASSERT_TRUE(ParseSource("192.0.2.7:2000", "--source", &b, &err));
  plan.keep.Add(b);
  plan.speed = 2;
  CaptureSource picked;
  ASSERT_TRUE(picked.Open(file, 9999, plan, &err)) << err;
  EXPECT_EQ(picked.senders(), 1u);
  const Replayed only_b = ReplayAll(&picked);
  EXPECT_EQ(only_b.from, (std::vector<uint32_t>{702000, 702000}));
  // B's own pace (2 s between its two), twice as fast.
  EXPECT_EQ(only_b.due, (std::vector<int64_t>{0, kSecond}));
  const std::string words = picked.DescribeSkipped();
  EXPECT_NE(words.find(", 3 from other senders than 192.0.2.7:2000"), std::string::npos) << words;

  plan = ReplayPlan();
  plan.max_gap = 60 * kSecond;
  plan.loops = 3;
  CaptureSource looped;
  ASSERT_TRUE(looped.Open(file, 9999, plan, &err)) << err;
  const Replayed thrice = ReplayAll(&looped);
  ASSERT_EQ(thrice.due.size(), 15u);
  // Each pass begins where the last ended, and keeps its pace.
  EXPECT_EQ(std::vector<int64_t>(thrice.due.begin() + 5, thrice.due.begin() + 10),
            (std::vector<int64_t>{4 * kSecond, 5 * kSecond, 6 * kSecond, 7 * kSecond, 8 * kSecond}));
  EXPECT_EQ(thrice.due.back(), 12 * kSecond);
  EXPECT_NE(looped.DescribeSkipped().find("; 3 passes over it"), std::string::npos);

  plan.loops = 0;  // without end
  CaptureSource endless;
  ASSERT_TRUE(endless.Open(file, 9999, plan, &err)) << err;
  EXPECT_EQ(ReplayAll(&endless, 5001).due.size(), 5001u);
}
