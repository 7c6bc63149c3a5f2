#include "capture/udp_datagrams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "capture/capture_writer_test_util.h"

namespace {

Bytes Payload(size_t size, unsigned seed) {
  Bytes payload(size);
  for (size_t i = 0; i < size; ++i) payload[i] = static_cast<unsigned char>(i * 31 + seed);
  return payload;
}

struct Extracted {
  std::vector<CapturedDatagram> datagrams;
  DatagramTally tally;
};

// The datagrams to port 9999 in a pcap of `frames` of `link_type`, one a
// millisecond; `original` gives the length on the wire where more than
// captured.
Extracted Extract(const std::vector<Bytes>& frames, uint32_t link_type, const std::vector<size_t>& original = {}) {
  std::vector<TestPacket> packets;
  for (size_t i = 0; i < frames.size(); ++i) {
    packets.push_back(TestPacket{static_cast<int64_t>(i) * 1000000, frames[i], i < original.size() ? original[i] : 0});
  }
  const Bytes file = WritePcap(packets, link_type, false, true);
  std::vector<CapturedPacket> read;
  CaptureError error = {0, ""};
  EXPECT_TRUE(ReadCapturePackets(file, &read, &error)) << error.what;
  Extracted extracted;
  ExtractUdpDatagrams(file, read, 9999, &extracted.datagrams, &extracted.tally);
  return extracted;
}

}  // namespace

TEST(UdpDatagrams, EveryLinkLayerGivesThePayload) {
  const Bytes payload = Payload(46, 1);
  const Bytes ip = UdpOverIpv4(payload, 9999, 1)[0];
  Bytes double_tagged = WithEthernet(ip, 7);
  double_tagged.insert(double_tagged.begin() + 12, {0x88, 0xA8, 0x00, 0x05});  // 802.1ad outside 802.1Q
  const struct {
    const char* name;
    uint32_t link_type;
    Bytes frame;
  } cases[] = {
      {"Ethernet", kLinkEthernet, WithEthernet(ip)},
      {"Ethernet with a VLAN tag", kLinkEthernet, WithEthernet(ip, 7)},
      {"Ethernet with two VLAN tags", kLinkEthernet, double_tagged},
      {"Linux cooked capture", kLinkLinuxCooked, WithLinuxCooked(ip, 1)},
      {"Linux cooked capture v2", kLinkLinuxCooked2, WithLinuxCooked(ip, 2)},
      {"loopback, little-endian", kLinkNull, WithLoopback(ip, false)},
      {"loopback, big-endian", kLinkNull, WithLoopback(ip, true)},
      {"OpenBSD loopback", kLinkLoop, WithLoopback(ip, true)},
      {"raw IP", kLinkRaw, ip},
      {"raw IPv4", kLinkIpv4, ip},
  };
  for (const auto& c : cases) {
    const Extracted extracted = Extract({c.frame}, c.link_type);
    ASSERT_EQ(extracted.datagrams.size(), 1u) << c.name;
    EXPECT_EQ(extracted.datagrams[0].payload, payload) << c.name;
    EXPECT_EQ(extracted.tally.not_udp, 0) << c.name;
  }
}

TEST(UdpDatagrams, ShortDatagramsLoseTheirEthernetPadding) {
  // An empty datagram and a 3-byte one, each padded to a 60-byte frame.
  const Extracted extracted =
      Extract({WithEthernet(UdpOverIpv4(Bytes{}, 9999, 1)[0]), WithEthernet(UdpOverIpv4(Bytes{9, 8, 7}, 9999, 2)[0])},
              kLinkEthernet);
  ASSERT_EQ(extracted.datagrams.size(), 2u);
  EXPECT_EQ(extracted.datagrams[0].payload, Bytes{});
  EXPECT_EQ(extracted.datagrams[1].payload, (Bytes{9, 8, 7}));
  EXPECT_EQ(extracted.datagrams[1].time, 1000000);
}

TEST(UdpDatagrams, FragmentsArePutTogetherInAnyOrderAndNeverSentHalf) {
  const Bytes largest = Payload(65507, 3);
  std::vector<Bytes> fragments;
  for (const Bytes& ip : UdpOverIpv4(largest, 9999, 77, 1500)) fragments.push_back(WithEthernet(ip));
  ASSERT_EQ(fragments.size(), 45u) << "a 65,507-byte datagram in 1,500-byte packets";

  Extracted extracted = Extract(fragments, kLinkEthernet);
  ASSERT_EQ(extracted.datagrams.size(), 1u);
  EXPECT_TRUE(extracted.datagrams[0].payload == largest);
  EXPECT_EQ(extracted.datagrams[0].time, 44 * 1000000) << "the time of its last piece";

  std::vector<Bytes> shuffled = fragments;
  std::mt19937 random(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same order every run
  std::shuffle(shuffled.begin(), shuffled.end(), random);
  extracted = Extract(shuffled, kLinkEthernet);
  ASSERT_EQ(extracted.datagrams.size(), 1u);
  EXPECT_TRUE(extracted.datagrams[0].payload == largest);

  // One fragment missing: skipped and counted, and the datagram after it,
  // whole, is taken.
  std::vector<Bytes> missing = fragments;
  missing.erase(missing.begin() + 20);
  missing.push_back(WithEthernet(UdpOverIpv4(Payload(100, 4), 9999, 78)[0]));
  extracted = Extract(missing, kLinkEthernet);
  ASSERT_EQ(extracted.datagrams.size(), 1u);
  EXPECT_EQ(extracted.datagrams[0].payload, Payload(100, 4));
  EXPECT_EQ(extracted.tally.incomplete, 1);
  EXPECT_EQ(extracted.tally.taken, 1);
}

TEST(UdpDatagrams, WhatIsSkippedIsCountedByWhy) {
  Bytes arp = WithEthernet(Bytes(28, 0));
  arp[12] = 0x08;
  arp[13] = 0x06;
  Bytes tcp = UdpOverIpv4(Payload(20, 5), 9999, 3)[0];
  tcp[9] = 6;
  const Bytes to_other_port = UdpOverIpv4(Payload(20, 6), 5000, 4)[0];
  const Bytes cut = WithEthernet(UdpOverIpv4(Payload(1000, 7), 9999, 5)[0]);
  std::vector<Bytes> cut_fragments;
  for (const Bytes& ip : UdpOverIpv4(Payload(3000, 8), 9999, 6, 1500)) cut_fragments.push_back(WithEthernet(ip));
  const Bytes kept_whole = WithEthernet(UdpOverIpv4(Payload(30, 9), 9999, 7)[0]);

  std::vector<Bytes> frames = {arp, WithEthernet(tcp), WithEthernet(to_other_port), Bytes(cut.begin(), cut.begin() + 200)};
  std::vector<size_t> original = {0, 0, 0, cut.size()};
  // A datagram in fragments, the second cut by the snap length.
  frames.push_back(cut_fragments[0]);
  original.push_back(0);
  frames.push_back(Bytes(cut_fragments[1].begin(), cut_fragments[1].begin() + 100));
  original.push_back(cut_fragments[1].size());
  frames.push_back(cut_fragments[2]);
  original.push_back(0);
  frames.push_back(kept_whole);

  const Extracted extracted = Extract(frames, kLinkEthernet, original);
  ASSERT_EQ(extracted.datagrams.size(), 1u);
  EXPECT_EQ(extracted.datagrams[0].payload, Payload(30, 9));
  EXPECT_EQ(extracted.tally.taken, 1);
  EXPECT_EQ(extracted.tally.not_udp, 2) << "ARP and TCP";
  EXPECT_EQ(extracted.tally.other_port, 1);
  EXPECT_EQ(extracted.tally.cut_short, 2) << "one whole, one in fragments";
  EXPECT_EQ(extracted.tally.incomplete, 0);
}
