// Captures read through the C interface: each datagram with its bytes, time
// and source, the summary counts, and how the packets ended.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "capture/capture_writer_test_util.h"
#include "capture/udp_datagrams.h"
#include "tgr/tgr.h"
#include "tgr/tgr.hpp"

namespace {

struct Read {
  std::vector<Bytes> payloads;
  std::vector<int64_t> times;
  std::vector<tgr_datagram> datagrams;
  tgr_capture_summary summary = tgr::Sized<tgr_capture_summary>();
  std::string error;
};

Read ReadCapture(const std::string& path, uint16_t port) {
  Read read;
  tgr_capture* capture = nullptr;
  char error[256];
  EXPECT_EQ(tgr_capture_open(path.c_str(), port, &capture, error, sizeof error), TGR_OK) << error;
  if (capture == nullptr) return read;
  const void* bytes = nullptr;
  tgr_datagram d = tgr::Sized<tgr_datagram>();
  while (tgr_capture_next(capture, &bytes, &d) == TGR_OK) {
    const unsigned char* b = static_cast<const unsigned char*>(bytes);
    read.payloads.emplace_back(b, b + d.size);
    read.times.push_back(d.time_ns);
    read.datagrams.push_back(d);
  }
  EXPECT_EQ(tgr_capture_next(capture, &bytes, &d), TGR_E_END) << "the end stays the end";
  EXPECT_EQ(tgr_capture_summary_get(capture, &read.summary), TGR_OK);
  read.error = tgr_capture_error(capture);
  tgr_capture_close(capture, nullptr, 0);
  return read;
}

Bytes Payload(size_t size, unsigned seed) {
  Bytes payload(size);
  for (size_t i = 0; i < size; ++i) payload[i] = static_cast<unsigned char>(i * 17 + seed);
  return payload;
}

TEST(CaptureApi, EveryDatagramForThePortWithItsTimeAndSource) {
  // The largest telegram in 1,500-byte fragments, one for another port,
  // one whose fragment is missing, and a last one whole.
  std::vector<TestPacket> packets;
  int64_t at = 1765000000000000000LL;
  auto add = [&packets, &at](const Bytes& ip) {
    packets.push_back(TestPacket{at, WithEthernet(ip), 0});
    at += 1000;
  };
  for (const Bytes& ip : UdpOverIpv4(Payload(65507, 1), 9999, 1, 1500)) add(ip);
  add(UdpOverIpv4(Payload(10, 2), 5000, 2)[0]);
  add(UdpOverIpv4(Payload(10, 2), 6000, 2)[0]);
  const std::vector<Bytes> broken = UdpOverIpv4(Payload(3000, 3), 9999, 3, 1500);
  add(broken[0]);
  // Fragments that overlap and disagree: conflicting, not incomplete.
  const std::vector<Bytes> twice = UdpOverIpv4(Payload(3000, 5), 9999, 5, 1500);
  Bytes changed = twice[1];
  changed[20 + 700] ^= 0x5A;
  add(twice[0]);
  add(twice[1]);
  add(changed);
  add(twice[2]);
  add(UdpOverIpv4(Payload(20, 4), 9999, 4)[0]);
  const std::string path = ::testing::TempDir() + "capture_api_test.pcapng";
  ASSERT_TRUE(WriteBytesToFile(path, WritePcapng(packets, kLinkEthernet, false, 9)));

  const Read read = ReadCapture(path, 9999);
  ASSERT_EQ(read.payloads.size(), 2u);
  EXPECT_EQ(read.payloads[0], Payload(65507, 1));
  EXPECT_EQ(read.payloads[1], Payload(20, 4));
  EXPECT_EQ(read.times[0], 1765000000000000000LL + 44000) << "the time of its last piece";
  EXPECT_EQ(read.datagrams[0].source_address, 0xC0000201u);
  EXPECT_EQ(read.datagrams[0].source_port, 40000);
  EXPECT_EQ(read.summary.end, TGR_CAPTURE_WHOLE);
  EXPECT_EQ(read.summary.packets, packets.size());
  EXPECT_EQ(read.summary.taken, 2u);
  EXPECT_EQ(read.summary.other_port, 2u);
  EXPECT_EQ(read.summary.first_other_port, 5000u) << "the first other port, named for --replay-port";
  EXPECT_EQ(read.summary.incomplete, 1u);
  EXPECT_EQ(read.summary.conflicting, 1u);
  EXPECT_EQ(read.summary.cut_short, 0u);
  EXPECT_EQ(read.error, "");

  // Cut in the middle of its last packet: the others, and the cut said.
  const std::string file = [&path] {
    std::string bytes;
    FILE* f = fopen(path.c_str(), "rb");
    char chunk[4096];
    size_t n = 0;
    while (f != nullptr && (n = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    if (f != nullptr) fclose(f);
    return bytes;
  }();
  const std::string cut_path = ::testing::TempDir() + "capture_api_test_cut.pcapng";
  ASSERT_TRUE(WriteBytesToFile(cut_path, Bytes(file.begin(), file.end() - 30)));
  const Read cut = ReadCapture(cut_path, 9999);
  ASSERT_EQ(cut.payloads.size(), 1u);
  EXPECT_EQ(cut.summary.end, TGR_CAPTURE_CUT_SHORT);
  const std::string said = "cut short at byte " + std::to_string(cut.summary.end_offset) + " (a block of type 6 needs ";
  EXPECT_EQ(cut.error.rfind(said, 0), 0u) << cut.error;
  EXPECT_EQ(cut.error.back(), ')') << cut.error;
  // Its last block: 28 bytes of header, 62 of Ethernet, IPv4, UDP and
  // payload padded to 64, 4 of trailer.
  EXPECT_EQ(cut.summary.end_offset, file.size() - (28 + 64 + 4)) << "its last packet's block";
  std::remove(path.c_str());
  std::remove(cut_path.c_str());
}

// What is no capture is refused at the open, in one line that names it;
// a pipe or a device is never waited on.
TEST(CaptureApi, WhatIsNoCaptureIsSaidAtTheOpen) {
  const std::string folder = ::testing::TempDir();
  const std::string text = folder + "capture_api_test_text.pcapng";
  const std::string report = "Receiving datagrams...\n--> Telegram Type: 6\r\n";
  ASSERT_TRUE(WriteBytesToFile(text, Bytes(report.begin(), report.end())));
  const std::string empty = folder + "capture_api_test_empty.pcapng";
  ASSERT_TRUE(WriteBytesToFile(empty, Bytes()));
  const std::string directory = folder + "capture_api_test_folder";
  std::filesystem::create_directories(directory);
  const struct {
    std::string path;
    std::string words;
  } cases[] = {
      {text, text + ": not a capture file: it starts with neither the pcap nor the pcapng magic number (at byte 0)"},
      {empty, empty + ": not a capture file: it holds 0 bytes (at byte 0)"},
      {directory, directory + ": not a capture file: a directory"},
  };
  for (const auto& c : cases) {
    tgr_capture* capture = reinterpret_cast<tgr_capture*>(&capture);  // made NULL on failure
    char error[256] = "";
    EXPECT_EQ(tgr_capture_open(c.path.c_str(), 9999, &capture, error, sizeof error), TGR_E_DAMAGED) << c.path;
    EXPECT_EQ(capture, nullptr);
    EXPECT_EQ(std::string(error), c.words);
  }
  std::remove(text.c_str());
  std::remove(empty.c_str());
  std::filesystem::remove(directory);

  tgr_capture* capture = nullptr;
  char error[256];
  errno = 0;
  EXPECT_EQ(tgr_capture_open("/nonexistent-folder/x.pcapng", 9999, &capture, error, sizeof error), TGR_E_FILE);
  EXPECT_EQ(errno, ENOENT) << "the system's number, for the caller";
  EXPECT_EQ(capture, nullptr);
  EXPECT_EQ(std::string(error), "cannot read the capture /nonexistent-folder/x.pcapng: No such file or directory");
  EXPECT_STREQ(tgr_strerror(TGR_E_FILE), "a file could not be opened, read, written or closed");
#ifndef _WIN32
  // A pipe with no writer would hold an open for ever.
  const std::string fifo = folder + "capture_api_test_fifo";
  std::remove(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(tgr_capture_open(fifo.c_str(), 9999, &capture, error, sizeof error), TGR_E_DAMAGED);
  EXPECT_EQ(std::string(error), fifo + ": not a capture file: a pipe (save the capture to a file first)");
  std::remove(fifo.c_str());
#endif
}

// A time beyond what time_ns holds (the year 2262) is -1 there, and whole
// from tgr_capture_time; a packet with no time has none.
TEST(CaptureApi, EveryTimeIsGivenWholeWhereTimeNsCannotHoldIt) {
  const Bytes ip = UdpOverIpv4(Payload(20, 1), 9999, 1)[0];
  const uint64_t far = 10000000000000ULL;  // seconds: some 317,000 years on
  std::vector<TestPacket> packets = {TestPacket{0, WithEthernet(ip), 0, far},
                                     TestPacket{0, WithEthernet(ip), 0, 1765000000}};
  PcapngLayout seconds;
  seconds.resolution = 0;
  const std::string path = ::testing::TempDir() + "capture_api_test_far.pcapng";
  ASSERT_TRUE(WriteBytesToFile(path, WritePcapng(packets, kLinkEthernet, seconds)));
  PcapngLayout simple;
  simple.simple = true;
  const std::string untimed = ::testing::TempDir() + "capture_api_test_untimed.pcapng";
  ASSERT_TRUE(WriteBytesToFile(untimed, WritePcapng(packets, kLinkEthernet, simple)));

  tgr::Capture capture;
  std::string error;
  ASSERT_EQ(capture.Open(path, 9999, &error), TGR_OK) << error;
  uint64_t s = 0;
  uint32_t ns = 1;
  EXPECT_EQ(capture.Time(&s, &ns), TGR_E_END) << "nothing read yet";
  const unsigned char* bytes = nullptr;
  tgr_datagram d = tgr::Sized<tgr_datagram>();
  ASSERT_EQ(capture.Next(&bytes, &d), TGR_OK);
  EXPECT_EQ(d.time_ns, -1);
  ASSERT_EQ(capture.Time(&s, &ns), TGR_OK);
  EXPECT_EQ(s, far);
  EXPECT_EQ(ns, 0u);
  ASSERT_EQ(capture.Next(&bytes, &d), TGR_OK);
  EXPECT_EQ(d.time_ns, 1765000000000000000LL);
  ASSERT_EQ(capture.Time(&s, &ns), TGR_OK);
  EXPECT_EQ(s, 1765000000u);
  EXPECT_EQ(capture.Next(&bytes, &d), TGR_E_END);
  EXPECT_EQ(capture.Time(&s, &ns), TGR_E_END) << "no datagram given";

  ASSERT_EQ(capture.Open(untimed, 9999, &error), TGR_OK) << error;
  ASSERT_EQ(capture.Next(&bytes, &d), TGR_OK);
  EXPECT_EQ(d.time_ns, -1);
  EXPECT_EQ(capture.Time(&s, &ns), TGR_E_END);
  std::remove(path.c_str());
  std::remove(untimed.c_str());
}

}  // namespace
