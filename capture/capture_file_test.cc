#include "capture/capture_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "capture/capture_writer_test_util.h"

namespace {

const std::vector<TestPacket> kPackets = {
    {1000001000, Bytes{1, 2, 3}},
    {1500000000, Bytes(70000, 7)},
    {3999999000, Bytes{}},
};

struct ReadPacket {
  CapturedPacket packet;
  Bytes bytes;
};

struct Read {
  std::vector<ReadPacket> packets;
  CaptureEnd end;
  uint64_t offset;
  std::string words;
};

Read ReadAll(const Bytes& file) {
  MemorySource source(file.data(), file.size());
  CaptureReader reader(&source);
  Read read;
  CapturedPacket packet = {};
  while (reader.Next(&packet)) {
    read.packets.push_back(ReadPacket{packet, Bytes(packet.bytes, packet.bytes + packet.captured_length)});
  }
  read.end = reader.end();
  read.offset = reader.end_offset();
  read.words = reader.end_words();
  EXPECT_EQ(reader.packets(), read.packets.size());
  return read;
}

int64_t Nanoseconds(const CaptureTime& time) {
  return static_cast<int64_t>(time.seconds) * 1000000000 + time.nanoseconds;
}

PcapngLayout Layout(int resolution, bool name_first = false, bool given = true) {
  PcapngLayout layout;
  layout.resolution = resolution;
  layout.name_first = name_first;
  layout.resolution_given = given;
  return layout;
}

}  // namespace

TEST(CaptureFile, EveryFormatByteOrderAndResolutionGivesTheSamePackets) {
  PcapngLayout big_nano = Layout(9);
  big_nano.big_endian = true;
  PcapngLayout two_sections = Layout(9);
  two_sections.second_section = true;
  const struct {
    const char* name;
    Bytes file;
  } files[] = {
      {"pcap, microseconds, little-endian", WritePcap(kPackets, 1, false, false)},
      {"pcap, microseconds, big-endian", WritePcap(kPackets, 1, true, false)},
      {"pcap, nanoseconds, little-endian", WritePcap(kPackets, 1, false, true)},
      {"pcap, nanoseconds, big-endian", WritePcap(kPackets, 1, true, true)},
      {"pcapng, microseconds, little-endian", WritePcapng(kPackets, 1, Layout(6))},
      {"pcapng, nanoseconds, big-endian", WritePcapng(kPackets, 1, big_nano)},
      // As dumpcap writes it: the interface's name, padded, before its
      // resolution, which is then read from the right place.
      {"pcapng, if_name before if_tsresol", WritePcapng(kPackets, 1, Layout(9, true))},
      {"pcapng with no if_tsresol: microseconds", WritePcapng(kPackets, 1, Layout(6, true, false))},
      {"pcapng, 2^-30 s", WritePcapng(kPackets, 1, Layout(0x80 | 30))},
      {"pcapng, picoseconds", WritePcapng(kPackets, 1, Layout(12))},
      {"pcapng in two sections", WritePcapng(kPackets, 1, two_sections)},
  };
  for (const auto& file : files) {
    const Read read = ReadAll(file.file);
    EXPECT_EQ(read.end, kCaptureWhole) << file.name << ": " << read.words;
    ASSERT_EQ(read.packets.size(), kPackets.size()) << file.name;
    for (size_t i = 0; i < kPackets.size(); ++i) {
      const CapturedPacket& packet = read.packets[i].packet;
      EXPECT_EQ(packet.link_type, 1u) << file.name;
      EXPECT_TRUE(packet.time.known) << file.name;
      EXPECT_EQ(Nanoseconds(packet.time), kPackets[i].time) << file.name << ", packet " << i;
      EXPECT_EQ(packet.captured_length, kPackets[i].bytes.size()) << file.name;
      EXPECT_EQ(packet.original_length, kPackets[i].bytes.size()) << file.name;
      EXPECT_EQ(read.packets[i].bytes, kPackets[i].bytes) << file.name << ", packet " << i;
    }
  }
}

TEST(CaptureFile, SimplePacketBlocksHaveNoTimeAndKeepTheirSnapLength) {
  PcapngLayout simple = Layout(6);
  simple.simple = true;
  const Read read = ReadAll(WritePcapng(kPackets, 101, simple));
  EXPECT_EQ(read.end, kCaptureWhole) << read.words;
  ASSERT_EQ(read.packets.size(), 3u);
  EXPECT_FALSE(read.packets[0].packet.time.known);
  EXPECT_EQ(read.packets[0].packet.link_type, 101u);
  EXPECT_EQ(read.packets[1].packet.captured_length, 70000u);
}

// Timestamps far from each other and at the edges of what a file can hold
// are read without overflow, seconds apart from their fraction.
TEST(CaptureFile, TimestampsAtTheEdgesAreReadWhole) {
  std::vector<TestPacket> pcap_packets = {{0, Bytes{1}}, {0, Bytes{2}}, {0, Bytes{3}}};
  pcap_packets[0].stamp = uint64_t{0xFFFFFFFF} << 32 | 999999;   // the last microsecond pcap holds
  pcap_packets[1].stamp = uint64_t{5} << 32 | 2500000;            // a fraction of 2.5 s: carried over
  pcap_packets[2].stamp = 1;                                      // the first microsecond
  Read read = ReadAll(WritePcap(pcap_packets, 1, false, false));
  ASSERT_EQ(read.packets.size(), 3u);
  EXPECT_EQ(read.packets[0].packet.time.seconds, 0xFFFFFFFFu);
  EXPECT_EQ(read.packets[0].packet.time.nanoseconds, 999999000u);
  EXPECT_EQ(read.packets[1].packet.time.seconds, 7u);
  EXPECT_EQ(read.packets[1].packet.time.nanoseconds, 500000000u);
  EXPECT_EQ(read.packets[2].packet.time.nanoseconds, 1000u);

  std::vector<TestPacket> pcapng_packets = {{0, Bytes{1}}, {0, Bytes{2}}};
  pcapng_packets[0].stamp = UINT64_MAX;
  pcapng_packets[1].stamp = uint64_t{1} << 63;
  const struct {
    uint64_t seconds;
    uint32_t nanoseconds;
    int resolution;
  } cases[] = {
      {UINT64_MAX / 1000000000, static_cast<uint32_t>(UINT64_MAX % 1000000000), 9},
      {UINT64_MAX / 1000000, static_cast<uint32_t>(UINT64_MAX % 1000000 * 1000), 6},
      {1, static_cast<uint32_t>(UINT64_MAX % 10000000000000000000u / 10000000000u), 19},
      {UINT64_MAX, 0, 0},
      {1, 999999999, 0x80 | 63},
      {UINT64_MAX, 0, 0x80},
  };
  for (const auto& c : cases) {
    read = ReadAll(WritePcapng(pcapng_packets, 1, Layout(c.resolution)));
    EXPECT_EQ(read.end, kCaptureWhole) << c.resolution << ": " << read.words;
    ASSERT_EQ(read.packets.size(), 2u) << c.resolution;
    EXPECT_EQ(read.packets[0].packet.time.seconds, c.seconds) << c.resolution;
    EXPECT_EQ(read.packets[0].packet.time.nanoseconds, c.nanoseconds) << c.resolution;
    EXPECT_LT(read.packets[1].packet.time.nanoseconds, 1000000000u) << c.resolution;
  }
  // Resolutions no 64-bit count can have.
  for (int resolution : {20, 127, 0x80 | 64, 0xFF}) {
    read = ReadAll(WritePcapng(pcapng_packets, 1, Layout(resolution)));
    EXPECT_EQ(read.end, kCaptureDamaged) << resolution;
    EXPECT_NE(read.words.find("damaged: a timestamp resolution of"), std::string::npos) << read.words;
    EXPECT_TRUE(read.packets.empty());
  }
}

TEST(CaptureFile, ACaptureCutShortEndsAtItsLastWholeRecord) {
  const Bytes pcap = WritePcap(kPackets, 1, false, false);
  const Bytes pcapng = WritePcapng(kPackets, 1, false, 6);
  // The second packet's record starts after the file header (24) and the
  // first record (16 + 3).
  const size_t second_record = 24 + 16 + 3;
  // The last block: the empty packet's, 12 + 20 bytes.
  const size_t last_block = pcapng.size() - 32;
  Bytes length_past_end = pcapng;
  length_past_end[last_block + 5] = 0x7F;  // its leading length: past the end, but no more than a block may be
  const struct {
    const char* name;
    Bytes file;
    size_t whole;  // packets before the cut
    size_t offset;
    const char* words;
  } cases[] = {
      {"pcap cut in a record", Bytes(pcap.begin(), pcap.begin() + static_cast<long>(second_record + 100)), 1,
       second_record, "the packet record needs 70016 bytes, the file has 100 bytes left"},
      {"pcap cut in a record's header", Bytes(pcap.begin(), pcap.begin() + static_cast<long>(second_record + 5)), 1,
       second_record, "a packet record's header needs 16 bytes, the file has 5 bytes left"},
      {"pcap cut in its header", Bytes(pcap.begin(), pcap.begin() + 10), 0, 0, "the pcap file header needs 24"},
      {"pcapng cut in a block", Bytes(pcapng.begin(), pcapng.end() - 1), 2, last_block, "a block of type 6 needs 32 bytes"},
      {"pcapng cut in a block's header", Bytes(pcapng.begin(), pcapng.end() - 27), 2, last_block, "a block's header"},
      {"pcapng block length past the end", length_past_end, 2, last_block, "the file has 32 bytes left"},
  };
  for (const auto& c : cases) {
    const Read read = ReadAll(c.file);
    EXPECT_EQ(read.end, kCaptureCutShort) << c.name << ": " << read.words;
    EXPECT_EQ(read.packets.size(), c.whole) << c.name;
    EXPECT_EQ(read.offset, c.offset) << c.name << ": " << read.words;
    EXPECT_NE(read.words.find(c.words), std::string::npos) << c.name << ": " << read.words;
  }
}

TEST(CaptureFile, WhatIsNotACaptureOrIsDamagedIsSaidWithItsOffset) {
  const Bytes pcap = WritePcap(kPackets, 1, false, false);
  const Bytes pcapng = WritePcapng(kPackets, 1, false, 6);
  const size_t last_block = pcapng.size() - 32;
  Bytes lengths_differ = pcapng;
  lengths_differ.at(lengths_differ.size() - 4) ^= 4;  // the last block's trailing length
  Bytes no_section = pcapng;
  no_section[0] = 6;
  Bytes huge_record = pcap;
  huge_record[24 + 8 + 3] = 0x01;  // the first record: 16 MB and more
  Bytes huge_block = pcapng;
  huge_block[last_block + 7] = 0x10;  // 256 MB and more
  Bytes odd_block = pcapng;
  odd_block[last_block + 4] += 2;
  // A packet of an interface that no block described.
  Bytes no_interface = pcapng;
  no_interface[last_block + 8] = 3;
  // A packet block that says it holds more than it does.
  Bytes says_more = pcapng;
  says_more[last_block + 8 + 12] = 4;
  // A second section that describes no interface: those of the first do
  // not carry over.
  const Bytes one_section = WritePcapng({kPackets[0]}, 1, false, 6);
  Bytes second_section = one_section;
  const size_t section_length = 28;
  second_section.insert(second_section.end(), one_section.begin(), one_section.begin() + section_length);
  second_section.insert(second_section.end(), one_section.end() - 36, one_section.end());  // its packet
  const struct {
    const char* name;
    Bytes file;
    size_t offset;
    const char* words;
  } cases[] = {
      {"empty", Bytes{}, 0, "not a capture file: it holds 0 bytes"},
      {"text", Bytes{'r', 'o', 'o', 't', ':', 'x'}, 0, "not a capture file: it starts with neither"},
      {"pcap record over 262144 bytes", huge_record, 24, "damaged: a packet record of 16777219 bytes"},
      {"pcapng lengths that differ", lengths_differ, pcapng.size() - 4, "ends with another length"},
      {"pcapng without a section header", no_section, 0, "not a capture file"},
      {"pcapng block over 16 MiB", huge_block, last_block, "more than the 16777216 any capture tool writes"},
      {"pcapng block of an odd length", odd_block, last_block, "gives its length as 34"},
      {"pcapng packet of no interface", no_interface, last_block, "interface 3, which has no description"},
      {"pcapng packet block that says more", says_more, last_block, "holds 0 bytes but says 4 bytes"},
      {"pcapng packet of an interface of another section", second_section, one_section.size() + section_length,
       "interface 0, which has no description before it"},
  };
  for (const auto& c : cases) {
    const Read read = ReadAll(c.file);
    EXPECT_EQ(read.end, kCaptureDamaged) << c.name << ": " << read.words;
    EXPECT_EQ(read.offset, c.offset) << c.name << ": " << read.words;
    EXPECT_NE(read.words.find(c.words), std::string::npos) << c.name << ": " << read.words;
  }
}

TEST(CaptureTime, TheTimeBetweenTwoIsBoundedAndNeverOverflows) {
  const CaptureTime start = {true, 100, 999999999};
  bool beyond = true;
  EXPECT_EQ(TimeBetween(start, CaptureTime{true, 101, 1}, 10000000000, &beyond), 2);
  EXPECT_FALSE(beyond);
  EXPECT_EQ(TimeBetween(start, CaptureTime{true, 100, 5}, 10000000000, &beyond), 0) << "earlier";
  EXPECT_FALSE(beyond);
  EXPECT_EQ(TimeBetween(start, CaptureTime{true, 110, 999999999}, 10000000000, &beyond), 10000000000);
  EXPECT_FALSE(beyond) << "exactly the bound";
  EXPECT_EQ(TimeBetween(start, CaptureTime{true, 111, 0}, 10000000000, &beyond), 10000000000);
  EXPECT_TRUE(beyond);
  // 2^64 - 1 s apart, and a bound of all that int64_t holds.
  EXPECT_EQ(TimeBetween(CaptureTime{true, 0, 0}, CaptureTime{true, UINT64_MAX, 999999999}, INT64_MAX, &beyond),
            INT64_MAX - 2000000000);
  EXPECT_TRUE(beyond);
  EXPECT_DOUBLE_EQ(SecondsBetween(CaptureTime{true, 0, 0}, CaptureTime{true, uint64_t{1} << 32, 500000000}),
                   4294967296.5);
}

namespace {

// pcapng laid out by hand, little-endian, where a test needs a block the
// writer does not make.
void Put16(Bytes* bytes, uint32_t value) {
  bytes->push_back(static_cast<unsigned char>(value));
  bytes->push_back(static_cast<unsigned char>(value >> 8));
}
void Put32(Bytes* bytes, uint32_t value) {
  Put16(bytes, value & 0xFFFF);
  Put16(bytes, value >> 16);
}
Bytes Block(uint32_t type, Bytes body) {
  while (body.size() % 4 != 0) body.push_back(0);
  Bytes block;
  Put32(&block, type);
  Put32(&block, static_cast<uint32_t>(body.size() + 12));
  block.insert(block.end(), body.begin(), body.end());
  Put32(&block, static_cast<uint32_t>(body.size() + 12));
  return block;
}
Bytes SectionHeader() {
  Bytes body;
  Put32(&body, 0x1A2B3C4D);
  Put16(&body, 1);
  Put16(&body, 0);
  Put32(&body, 0xFFFFFFFF);
  Put32(&body, 0xFFFFFFFF);
  return Block(0x0A0D0D0A, body);
}
Bytes Interface(uint32_t snap_length, const Bytes& options = {}) {
  Bytes body;
  Put16(&body, 1);
  Put16(&body, 0);
  Put32(&body, snap_length);
  body.insert(body.end(), options.begin(), options.end());
  return Block(1, body);
}
Bytes SimplePacket(uint32_t original_length, const Bytes& data) {
  Bytes body;
  Put32(&body, original_length);
  body.insert(body.end(), data.begin(), data.end());
  return Block(3, body);
}
Bytes Joined(const std::vector<Bytes>& parts) {
  Bytes joined;
  for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

// The bytes of a file, then a failure to read on.
class FailingSource : public ByteSource {
 public:
  explicit FailingSource(const Bytes& bytes) : bytes_(bytes) {}
  size_t Read(unsigned char* into, size_t size) override {
    const size_t n = std::min(size, bytes_.size() - at_);
    std::copy(bytes_.begin() + static_cast<long>(at_), bytes_.begin() + static_cast<long>(at_ + n), into);
    at_ += n;
    if (n < size) failed_ = true;
    return n;
  }
  std::string failure() const override { return failed_ ? "Input/output error" : ""; }

 private:
  Bytes bytes_;
  size_t at_ = 0;
  bool failed_ = false;
};

}  // namespace

// The edges of a pcapng file's blocks, each where a slip would read the
// wrong bytes or take a damaged file for a whole one.
TEST(CaptureFile, TheEdgesOfBlocksAndInterfaces) {
  // An option whose bytes would run into the block's trailing length.
  Bytes option;
  Put16(&option, 2);  // if_name
  Put16(&option, 8);
  option.insert(option.end(), {'e', 't', 'h', '0'});
  Read read = ReadAll(Joined({SectionHeader(), Interface(0, option), SimplePacket(3, {1, 2, 3})}));
  EXPECT_EQ(read.end, kCaptureDamaged) << read.words;
  EXPECT_NE(read.words.find("an interface option runs past its block"), std::string::npos) << read.words;
  // The same option with its bytes all there is read.
  option.insert(option.end(), {'.', '1', '0', '0'});
  read = ReadAll(Joined({SectionHeader(), Interface(0, option), SimplePacket(3, {1, 2, 3})}));
  EXPECT_EQ(read.end, kCaptureWhole) << read.words;

  // A simple packet block keeps the bytes up to the snap length, however
  // long the packet was on the wire.
  read = ReadAll(Joined({SectionHeader(), Interface(100), SimplePacket(200, Bytes(100, 9))}));
  EXPECT_EQ(read.end, kCaptureWhole) << read.words;
  ASSERT_EQ(read.packets.size(), 1u);
  EXPECT_EQ(read.packets[0].packet.captured_length, 100u);
  EXPECT_EQ(read.packets[0].packet.original_length, 200u);
  EXPECT_EQ(read.packets[0].bytes, Bytes(100, 9));

  // 65,536 interfaces in a section are read; one more is damage.
  std::vector<Bytes> parts = {SectionHeader()};
  const Bytes one = Interface(0);
  for (size_t i = 0; i < kMostInterfaces; ++i) parts.push_back(one);
  parts.push_back(SimplePacket(1, {7}));
  read = ReadAll(Joined(parts));
  EXPECT_EQ(read.end, kCaptureWhole) << read.words;
  parts.insert(parts.end() - 1, one);
  read = ReadAll(Joined(parts));
  EXPECT_EQ(read.end, kCaptureDamaged);
  EXPECT_NE(read.words.find("more than 65536 interfaces"), std::string::npos) << read.words;
  EXPECT_EQ(read.packets.size(), 0u);
}

// A file that cannot be read on is no whole file, even where the failure
// falls between two records.
TEST(CaptureFile, AReadFailureIsNeverTakenForTheEnd) {
  // Each file up to the end of its second record: the third, of no bytes,
  // is a 16-byte record or a 32-byte block.
  const struct {
    Bytes file;
    size_t last_record;
  } files[] = {{WritePcap(kPackets, 1, false, false), 16}, {WritePcapng(kPackets, 1, false, 6), 32}};
  for (const auto& f : files) {
    FailingSource source(Bytes(f.file.begin(), f.file.end() - static_cast<long>(f.last_record)));
    CaptureReader reader(&source);
    CapturedPacket packet = {};
    size_t packets = 0;
    while (reader.Next(&packet)) ++packets;
    EXPECT_EQ(packets, 2u);
    EXPECT_EQ(reader.end(), kCaptureDamaged);
    EXPECT_NE(reader.end_words().find("cannot be read: Input/output error"), std::string::npos) << reader.end_words();
  }
}
