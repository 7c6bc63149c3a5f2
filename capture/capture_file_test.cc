#include "capture/capture_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/capture_writer_test_util.h"

namespace {

const std::vector<TestPacket> kPackets = {
    {1000001000, Bytes{1, 2, 3}},
    {1500000000, Bytes(70000, 7)},
    {3999999000, Bytes{}},
};

struct Read {
  bool ok;
  std::vector<CapturedPacket> packets;
  CaptureError error;
};

Read ReadAll(const Bytes& file) {
  Read read;
  read.error = {12345, ""};
  read.ok = ReadCapturePackets(file, &read.packets, &read.error);
  return read;
}

}  // namespace

TEST(CaptureFile, EveryFormatAndByteOrderGivesTheSamePackets) {
  const struct {
    const char* name;
    Bytes file;
  } files[] = {
      {"pcap, microseconds, little-endian", WritePcap(kPackets, 1, false, false)},
      {"pcap, microseconds, big-endian", WritePcap(kPackets, 1, true, false)},
      {"pcap, nanoseconds, little-endian", WritePcap(kPackets, 1, false, true)},
      {"pcap, nanoseconds, big-endian", WritePcap(kPackets, 1, true, true)},
      {"pcapng, microseconds, little-endian", WritePcapng(kPackets, 1, false, 6)},
      {"pcapng, nanoseconds, big-endian", WritePcapng(kPackets, 1, true, 9)},
  };
  for (const auto& file : files) {
    const Read read = ReadAll(file.file);
    ASSERT_TRUE(read.ok) << file.name << ": " << read.error.what;
    ASSERT_EQ(read.packets.size(), kPackets.size()) << file.name;
    for (size_t i = 0; i < kPackets.size(); ++i) {
      const CapturedPacket& packet = read.packets[i];
      EXPECT_EQ(packet.link_type, 1u) << file.name;
      EXPECT_EQ(packet.time, kPackets[i].time) << file.name << ", packet " << i;
      EXPECT_EQ(packet.captured_length, kPackets[i].bytes.size()) << file.name;
      EXPECT_EQ(packet.original_length, kPackets[i].bytes.size()) << file.name;
      EXPECT_EQ(Bytes(file.file.begin() + static_cast<long>(packet.offset),
                      file.file.begin() + static_cast<long>(packet.offset + packet.captured_length)),
                kPackets[i].bytes)
          << file.name << ", packet " << i;
    }
  }
}

TEST(CaptureFile, SimplePacketBlocksHaveNoTimeAndKeepTheirSnapLength) {
  std::vector<TestPacket> packets = kPackets;
  const Read read = ReadAll(WritePcapng(packets, 101, false, 6, true));
  ASSERT_TRUE(read.ok) << read.error.what;
  ASSERT_EQ(read.packets.size(), 3u);
  EXPECT_EQ(read.packets[0].time, kNoTime);
  EXPECT_EQ(read.packets[0].link_type, 101u);
  EXPECT_EQ(read.packets[1].captured_length, 70000u);
}

TEST(CaptureFile, WhatIsNotACaptureOrIsDamagedIsSaidWithItsOffset) {
  const Bytes pcap = WritePcap(kPackets, 1, false, false);
  const Bytes pcapng = WritePcapng(kPackets, 1, false, 6);
  // The second packet's record starts after the file header (24) and the
  // first record (16 + 3).
  const size_t second_record = 24 + 16 + 3;
  // The last block: the empty packet's, 12 + 20 bytes.
  const size_t last_block = pcapng.size() - 32;
  Bytes length_past_end = pcapng;
  length_past_end[last_block + 5] = 0x7F;  // its leading length: far too long
  Bytes lengths_differ = pcapng;
  lengths_differ.at(lengths_differ.size() - 4) ^= 4;  // the last block's trailing length
  Bytes no_section = pcapng;
  no_section[0] = 6;
  const struct {
    const char* name;
    Bytes file;
    size_t offset;
    const char* words;
  } cases[] = {
      {"empty", Bytes{}, 0, "not a capture file: it holds 0 bytes"},
      {"text", Bytes{'r', 'o', 'o', 't', ':', 'x'}, 0, "not a capture file: it starts with neither"},
      {"pcap cut in its header", Bytes(pcap.begin(), pcap.begin() + 10), 10, "cut short: the pcap file header"},
      {"pcap cut in a record", Bytes(pcap.begin(), pcap.begin() + static_cast<long>(second_record + 100)),
       second_record, "damaged or cut short: the packet record holds 70000 bytes"},
      {"pcap cut in a record's header", Bytes(pcap.begin(), pcap.begin() + static_cast<long>(second_record + 5)),
       second_record, "cut short: a packet record's header"},
      {"pcapng cut in a block", Bytes(pcapng.begin(), pcapng.end() - 1), last_block,
       "damaged or cut short: a block of type 6"},
      {"pcapng block length past the end", length_past_end, last_block, "runs past the end"},
      {"pcapng lengths that differ", lengths_differ, pcapng.size() - 4, "ends with another length"},
      {"pcapng without a section header", no_section, 0, "not a capture file"},
  };
  for (const auto& c : cases) {
    const Read read = ReadAll(c.file);
    EXPECT_FALSE(read.ok) << c.name;
    EXPECT_TRUE(read.packets.empty()) << c.name << ": nothing half-read is handed out";
    EXPECT_EQ(read.error.offset, c.offset) << c.name << ": " << read.error.what;
    EXPECT_NE(read.error.what.find(c.words), std::string::npos) << c.name << ": " << read.error.what;
  }
}
