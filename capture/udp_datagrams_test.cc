#include "capture/udp_datagrams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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

struct Datagram {
  int64_t time;  // nanoseconds
  Bytes payload;
  uint32_t source_address;
  uint16_t source_port;
};

struct Extracted {
  std::vector<Datagram> datagrams;
  DatagramTally tally;
  size_t most_pending = 0;        // datagrams pending reassembly at once, at most
  size_t most_pending_bytes = 0;  // and the bytes held for them
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
  MemorySource source(file.data(), file.size());
  CaptureReader reader(&source);
  UdpDatagramReader datagrams(9999);
  Extracted extracted;
  CapturedPacket packet = {};
  CapturedDatagram datagram = {};
  while (reader.Next(&packet)) {
    if (datagrams.Take(packet, &datagram)) {
      const int64_t time = static_cast<int64_t>(datagram.time.seconds) * 1000000000 + datagram.time.nanoseconds;
      extracted.datagrams.push_back(Datagram{time, Bytes(datagram.payload, datagram.payload + datagram.size),
                                             datagram.source_address, datagram.source_port});
    }
    extracted.most_pending = std::max(extracted.most_pending, datagrams.pending());
    extracted.most_pending_bytes = std::max(extracted.most_pending_bytes, datagrams.pending_bytes());
  }
  EXPECT_EQ(reader.end(), kCaptureWhole) << reader.end_words();
  datagrams.Finish();
  extracted.tally = datagrams.tally();
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
      {"an IPv4 header with options (IHL 6)", kLinkEthernet, WithEthernet(UdpOverIpv4(payload, 9999, 1, 65535, 4)[0])},
  };
  for (const auto& c : cases) {
    const Extracted extracted = Extract({c.frame}, c.link_type);
    ASSERT_EQ(extracted.datagrams.size(), 1u) << c.name;
    EXPECT_EQ(extracted.datagrams[0].payload, payload) << c.name;
    EXPECT_EQ(extracted.datagrams[0].source_address, 0xC0000201u) << c.name;
    EXPECT_EQ(extracted.datagrams[0].source_port, 40000) << c.name;
    EXPECT_EQ(extracted.tally.not_udp, 0) << c.name;
  }
}

TEST(UdpDatagrams, ShortDatagramsLoseTheirEthernetPadding) {
  // An empty datagram and a 3-byte one, each padded to a 60-byte frame;
  // and a datagram in fragments whose last one is short and padded too.
  std::vector<Bytes> frames = {WithEthernet(UdpOverIpv4(Bytes{}, 9999, 1)[0]),
                               WithEthernet(UdpOverIpv4(Bytes{9, 8, 7}, 9999, 2)[0])};
  const Bytes fragmented = Payload(1480 + 2, 5);  // with its UDP header: one full fragment and 10 bytes
  for (const Bytes& ip : UdpOverIpv4(fragmented, 9999, 3, 1500)) frames.push_back(WithEthernet(ip));
  ASSERT_EQ(frames.back().size(), 60u) << "the last fragment is padded";
  const Extracted extracted = Extract(frames, kLinkEthernet);
  ASSERT_EQ(extracted.datagrams.size(), 3u);
  EXPECT_EQ(extracted.datagrams[0].payload, Bytes{});
  EXPECT_EQ(extracted.datagrams[1].payload, (Bytes{9, 8, 7}));
  EXPECT_EQ(extracted.datagrams[1].time, 1000000);
  EXPECT_TRUE(extracted.datagrams[2].payload == fragmented) << "the padding is no part of it";
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
  // Its source, from the IPv4 header and the UDP header of its first piece.
  EXPECT_EQ(extracted.datagrams[0].source_address, 0xC0000201u);  // 192.0.2.1
  EXPECT_EQ(extracted.datagrams[0].source_port, 40000);

  std::vector<Bytes> shuffled = fragments;
  std::mt19937 random(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same order every run
  std::shuffle(shuffled.begin(), shuffled.end(), random);
  extracted = Extract(shuffled, kLinkEthernet);
  ASSERT_EQ(extracted.datagrams.size(), 1u);
  EXPECT_TRUE(extracted.datagrams[0].payload == largest);

  // One fragment missing: skipped and counted. The datagram after it, in
  // fragments too, between the same hosts, is taken whole and alone: none
  // of the first is spliced into it, for its identification differs.
  std::vector<Bytes> missing = fragments;
  missing.erase(missing.begin() + 20);
  const Bytes next = Payload(65507, 4);
  for (const Bytes& ip : UdpOverIpv4(next, 9999, 78, 1500)) missing.push_back(WithEthernet(ip));
  missing.push_back(WithEthernet(UdpOverIpv4(Payload(100, 4), 9999, 79)[0]));
  extracted = Extract(missing, kLinkEthernet);
  ASSERT_EQ(extracted.datagrams.size(), 2u);
  EXPECT_TRUE(extracted.datagrams[0].payload == next);
  EXPECT_EQ(extracted.datagrams[1].payload, Payload(100, 4));
  EXPECT_EQ(extracted.tally.incomplete, 1);
  EXPECT_EQ(extracted.tally.taken, 2);
}

// Lone fragments, each the last of a datagram whose others never come, as
// a hostile capture may hold by the million: the reassembly holds no more
// than its bounds, gives up the oldest first, and counts each given up.
TEST(UdpDatagrams, FragmentsPendingAreBoundedByCountAndBytes) {
  const size_t lone = 3 * kMostPendingDatagrams;
  for (bool far : {true, false}) {
    std::vector<Bytes> frames;
    for (size_t i = 0; i < lone; ++i) {
      // Far: the last fragment, at offset 65,000, of a datagram whose first
      // ones never come: 64 KB to hold. Near: the first of 500 bytes.
      Bytes ip = UdpOverIpv4(Payload(3000, 1), 9999, static_cast<uint16_t>(i), 520)[far ? 1 : 0];
      if (far) {
        ip[6] = 0x1F;
        ip[7] = 0xBD;
      }
      frames.push_back(WithEthernet(ip));
    }
    frames.push_back(WithEthernet(UdpOverIpv4(Payload(30, 2), 9999, 9000)[0]));
    const Extracted extracted = Extract(frames, kLinkEthernet);
    EXPECT_LE(extracted.most_pending, kMostPendingDatagrams) << far;
    EXPECT_LE(extracted.most_pending_bytes, kMostPendingBytes) << far;
    if (far) {
      EXPECT_GT(extracted.most_pending_bytes, kMostPendingBytes - 65536) << "the bound in bytes was reached";
    } else {
      EXPECT_EQ(extracted.most_pending, kMostPendingDatagrams) << "the bound in datagrams was reached";
    }
    EXPECT_EQ(extracted.tally.incomplete, static_cast<long>(lone)) << far;
    ASSERT_EQ(extracted.datagrams.size(), 1u) << far;
    EXPECT_EQ(extracted.datagrams[0].payload, Payload(30, 2)) << far;
  }
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

// Fragments that overlap: where they agree the datagram stands; where they
// disagree, which to believe cannot be known, so it is skipped and counted.
TEST(UdpDatagrams, OverlappingFragmentsThatDisagreeAreSkippedAndCounted) {
  const Bytes payload = Payload(3000, 11);
  std::vector<Bytes> fragments;
  for (const Bytes& ip : UdpOverIpv4(payload, 9999, 21, 1500)) fragments.push_back(WithEthernet(ip));
  ASSERT_EQ(fragments.size(), 3u);
  // The middle one again, the same bytes: the datagram is taken.
  std::vector<Bytes> agreeing = {fragments[0], fragments[1], fragments[1], fragments[2]};
  Extracted extracted = Extract(agreeing, kLinkEthernet);
  ASSERT_EQ(extracted.datagrams.size(), 1u);
  EXPECT_TRUE(extracted.datagrams[0].payload == payload);
  EXPECT_EQ(extracted.tally.conflicting, 0);
  // Again with one byte changed, before or after the first copy: skipped.
  Bytes changed = fragments[1];
  changed[14 + 20 + 700] ^= 0x5A;
  for (const auto& order : {std::vector<Bytes>{fragments[0], fragments[1], changed, fragments[2]},
                            std::vector<Bytes>{changed, fragments[0], fragments[1], fragments[2]}}) {
    std::vector<Bytes> frames = order;
    frames.push_back(WithEthernet(UdpOverIpv4(Payload(40, 12), 9999, 22)[0]));
    extracted = Extract(frames, kLinkEthernet);
    ASSERT_EQ(extracted.datagrams.size(), 1u) << "only the datagram after it";
    EXPECT_EQ(extracted.datagrams[0].payload, Payload(40, 12));
    EXPECT_EQ(extracted.tally.conflicting, 1);
    EXPECT_EQ(extracted.tally.incomplete, 0);
    EXPECT_EQ(extracted.tally.taken, 1);
  }
  // A conflict in a datagram that never comes whole is still said as such.
  extracted = Extract({fragments[1], changed}, kLinkEthernet);
  EXPECT_EQ(extracted.tally.conflicting, 1);
  EXPECT_EQ(extracted.tally.incomplete, 0);
}

// The bounds and lengths of putting fragments together, each where a slip
// would take the wrong datagram, lose one, or read past the bytes.
TEST(UdpDatagrams, ReassemblyKeepsItsCountsAndReadsNoFurtherThanThePayload) {
  // A UDP length beyond its IP payload: not taken, nothing read past it.
  Bytes too_long = UdpOverIpv4(Payload(20, 13), 9999, 31)[0];
  too_long[20 + 4] = 0;
  too_long[20 + 5] = 29;  // 8 + 20 + 1
  Extracted extracted = Extract({WithEthernet(too_long)}, kLinkEthernet);
  EXPECT_EQ(extracted.datagrams.size(), 0u);
  EXPECT_EQ(extracted.tally.not_udp, 1);

  // Forty of the largest datagrams in fragments in a row, 2.6 MB in all
  // beyond the 2 MiB held at once: each is let go once whole, so all are
  // taken.
  std::vector<Bytes> frames;
  for (uint16_t id = 0; id < 40; ++id) {
    for (const Bytes& ip : UdpOverIpv4(Payload(65507, id), 9999, id, 1500)) frames.push_back(WithEthernet(ip));
  }
  extracted = Extract(frames, kLinkEthernet);
  EXPECT_EQ(extracted.datagrams.size(), 40u);
  EXPECT_EQ(extracted.tally.incomplete, 0);
  EXPECT_LE(extracted.most_pending_bytes, size_t{65535});

  // One more datagram begun than may be pending: the oldest is given up,
  // not the newest. Each has its first fragment first; then the others
  // get their last, and are taken.
  std::vector<std::vector<Bytes>> datagrams;
  frames.clear();
  for (uint16_t id = 0; id <= kMostPendingDatagrams; ++id) {
    std::vector<Bytes> pieces;
    for (const Bytes& ip : UdpOverIpv4(Payload(2000, id), 9999, id, 1500)) pieces.push_back(WithEthernet(ip));
    frames.push_back(pieces[0]);
    datagrams.push_back(pieces);
  }
  for (size_t i = 1; i < datagrams.size(); ++i) frames.push_back(datagrams[i][1]);
  extracted = Extract(frames, kLinkEthernet);
  ASSERT_EQ(extracted.datagrams.size(), kMostPendingDatagrams);
  EXPECT_EQ(extracted.datagrams.front().payload, Payload(2000, 1)) << "the second begun is the first taken";
  EXPECT_EQ(extracted.datagrams.back().payload, Payload(2000, kMostPendingDatagrams));
  EXPECT_EQ(extracted.tally.incomplete, 1);

  // Fragments of 8 bytes, each padded to a 60-byte frame, in reverse order:
  // only their own bytes go into the datagram.
  const Bytes small = Payload(40, 14);
  frames.clear();
  for (const Bytes& ip : UdpOverIpv4(small, 9999, 41, 28)) frames.insert(frames.begin(), WithEthernet(ip));
  ASSERT_EQ(frames.size(), 6u);
  ASSERT_EQ(frames[2].size(), 60u);
  extracted = Extract(frames, kLinkEthernet);
  ASSERT_EQ(extracted.datagrams.size(), 1u);
  EXPECT_EQ(extracted.datagrams[0].payload, small);
}
