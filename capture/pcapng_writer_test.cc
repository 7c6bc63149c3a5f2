// The recording, byte for byte, and read back by the replay's own reader:
// whole, cut anywhere in its last packet, and on a device that is full.
#include "capture/pcapng_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/byte_source.h"
#include "capture/capture_file.h"
#include "capture/udp_datagrams.h"
#include "tests/file_test_util.h"

namespace {

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("pcapng_writer_test_" + name)).string();
}

const UdpEnds kEnds = {0x7F000001, 40000, 0x0A000002, 9999};

TEST(PcapngWriter, TheFileIsLaidOutByteForByte) {
  const std::string path = TempPath("bytes.pcapng");
  PcapngWriter writer;
  std::string err;
  ASSERT_TRUE(writer.Open(path, "ab", &err)) << err;
  const unsigned char payload[3] = {0xAA, 0xBB, 0xCC};
  ASSERT_TRUE(writer.Write(0x0000000112345678LL, kEnds, payload, sizeof payload, &err)) << err;
  ASSERT_TRUE(writer.Close(&err)) << err;
  const std::string expected = std::string(
      // Section header: type, length 40, byte-order magic, version 1.0,
      // length unknown, shb_userappl "ab", end of options, length.
      "\x0A\x0D\x0D\x0A" "\x28\x00\x00\x00" "\x4D\x3C\x2B\x1A" "\x01\x00\x00\x00"
      "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF" "\x04\x00\x02\x00" "ab\x00\x00" "\x00\x00\x00\x00"
      "\x28\x00\x00\x00"
      // Interface: type 1, length 32, raw IPv4 (228), no snap length,
      // if_tsresol 9, end of options, length.
      "\x01\x00\x00\x00" "\x20\x00\x00\x00" "\xE4\x00\x00\x00" "\x00\x00\x00\x00"
      "\x09\x00\x01\x00" "\x09\x00\x00\x00" "\x00\x00\x00\x00" "\x20\x00\x00\x00"
      // Enhanced packet: type 6, length 64, interface 0, time high and low,
      // 31 bytes captured and on the wire.
      "\x06\x00\x00\x00" "\x40\x00\x00\x00" "\x00\x00\x00\x00" "\x01\x00\x00\x00"
      "\x78\x56\x34\x12" "\x1F\x00\x00\x00" "\x1F\x00\x00\x00"
      // IPv4: 0x45, length 31, id 0, TTL 64, UDP, checksum, 127.0.0.1 to 10.0.0.2.
      "\x45\x00\x00\x1F" "\x00\x00\x00\x00" "\x40\x11\xF1\xCB" "\x7F\x00\x00\x01" "\x0A\x00\x00\x02"
      // UDP: 40000 to 9999, length 11, no checksum; the payload, padded.
      "\x9C\x40\x27\x0F" "\x00\x0B\x00\x00" "\xAA\xBB\xCC\x00"
      "\x40\x00\x00\x00",
      40 + 32 + 64);
  EXPECT_EQ(ReadWholeFile(path), expected);
  std::remove(path.c_str());
}

// What the replay reads back: every datagram, its time and its bytes.
std::vector<std::vector<unsigned char>> ReadBack(const std::string& bytes, CaptureEnd* end,
                                                 std::vector<uint64_t>* times = nullptr) {
  MemorySource source(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  CaptureReader reader(&source);
  UdpDatagramReader datagrams(kEnds.destination_port);
  std::vector<std::vector<unsigned char>> got;
  CapturedPacket packet;
  while (reader.Next(&packet)) {
    CapturedDatagram d;
    if (!datagrams.Take(packet, &d)) continue;
    got.emplace_back(d.payload, d.payload + d.size);
    if (times != nullptr) times->push_back(d.time.seconds * 1000000000ULL + d.time.nanoseconds);
  }
  *end = reader.end();
  return got;
}

TEST(PcapngWriter, TheReplaysReaderTakesEveryDatagramAndItsTime) {
  const std::string path = TempPath("round.pcapng");
  std::vector<std::vector<unsigned char>> sent = {{}, std::vector<unsigned char>(1001), std::vector<unsigned char>(65507)};
  for (auto& d : sent) {
    for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<unsigned char>(i * 7 + d.size());
  }
  const std::vector<uint64_t> times = {1765000000123456789ULL, 1765000000123456790ULL, 1765000001000000000ULL};
  PcapngWriter writer;
  std::string err;
  ASSERT_TRUE(writer.Open(path, "test", &err)) << err;
  for (size_t i = 0; i < sent.size(); ++i) {
    ASSERT_TRUE(writer.Write(static_cast<int64_t>(times[i]), kEnds, sent[i].data(), sent[i].size(), &err)) << err;
  }
  EXPECT_EQ(writer.packets(), 3u);
  ASSERT_TRUE(writer.Close(&err)) << err;
  const std::string file = ReadWholeFile(path);
  CaptureEnd end = kCaptureReading;
  std::vector<uint64_t> read_times;
  EXPECT_EQ(ReadBack(file, &end, &read_times), sent);
  EXPECT_EQ(end, kCaptureWhole);
  EXPECT_EQ(read_times, times);

  // Cut anywhere in the last packet, as a crash leaves it: the others whole,
  // and the cut said.
  // The last block: its 28 bytes before the packet, the packet (IPv4 and
  // UDP headers, 65,507 bytes) padded to 65,536, and its trailing length.
  const size_t last_block = file.size() - (28 + 65536 + 4);
  for (size_t keep : {last_block, last_block + 1, last_block + 40, file.size() - 4, file.size() - 1}) {
    std::vector<std::vector<unsigned char>> first_two(sent.begin(), sent.begin() + 2);
    EXPECT_EQ(ReadBack(file.substr(0, keep), &end), first_two) << keep;
    EXPECT_EQ(end, keep == last_block ? kCaptureWhole : kCaptureCutShort) << keep;
  }
  std::remove(path.c_str());
}

TEST(PcapngWriter, FailuresAreSaidAndStopTheWriting) {
  PcapngWriter writer;
  std::string err;
  EXPECT_FALSE(writer.Open("/nonexistent-folder/x.pcapng", "t", &err));
  EXPECT_EQ(err, "cannot create /nonexistent-folder/x.pcapng: No such file or directory");
#if defined(__linux__)
  PcapngWriter full;
  EXPECT_FALSE(full.Open("/dev/full", "t", &err));
  EXPECT_EQ(err, "cannot write to /dev/full: No space left on device");
  EXPECT_FALSE(full.Write(1, kEnds, nullptr, 0, &err));
  EXPECT_EQ(err, "the recording /dev/full is not open for writing");
  EXPECT_FALSE(full.Close(&err));
#endif
  const std::string path = TempPath("limits.pcapng");
  PcapngWriter limits;
  ASSERT_TRUE(limits.Open(path, "t", &err)) << err;
  std::vector<unsigned char> big(kMostRecordedPayload + 1);
  EXPECT_FALSE(limits.Write(1, kEnds, big.data(), big.size(), &err));
  EXPECT_EQ(err, "a datagram of 65508 bytes: UDP over IPv4 carries 65507 at most");
  EXPECT_FALSE(limits.Write(-1, kEnds, big.data(), 1, &err));
  EXPECT_EQ(err, "a datagram received before 1970 cannot be recorded");
  EXPECT_EQ(limits.packets(), 0u);
  EXPECT_TRUE(limits.Close(&err)) << err;
  std::remove(path.c_str());
}

}  // namespace
