// Captures read through the C interface: each datagram with its bytes, time
// and source, the summary counts, and how the packets ended.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "capture/capture_writer_test_util.h"
#include "capture/udp_datagrams.h"
#include "tgr/tgr.h"
#include "tgr/tgr.hpp"

namespace {

struct Read {
  std::vector<Bytes> payloads;
  std::vector<int64_t> times;
  std::vector<tgr_datagram> datagrams;
  tgr_capture_summary summary = {};
  std::string error;
};

Read ReadCapture(const std::string& path, uint16_t port) {
  Read read;
  tgr_capture* capture = nullptr;
  char error[256];
  EXPECT_EQ(tgr_capture_open(path.c_str(), port, &capture, error, sizeof error), TGR_OK) << error;
  if (capture == nullptr) return read;
  const void* bytes = nullptr;
  tgr_datagram d;
  while (tgr_capture_next(capture, &bytes, &d) == TGR_OK) {
    const unsigned char* b = static_cast<const unsigned char*>(bytes);
    read.payloads.emplace_back(b, b + d.size);
    read.times.push_back(d.time_ns);
    read.datagrams.push_back(d);
  }
  EXPECT_EQ(tgr_capture_next(capture, &bytes, &d), TGR_E_END) << "the end stays the end";
  EXPECT_EQ(tgr_capture_summary_get(capture, &read.summary), TGR_OK);
  read.error = tgr_capture_error(capture);
  tgr_capture_close(capture);
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
  const std::vector<Bytes> broken = UdpOverIpv4(Payload(3000, 3), 9999, 3, 1500);
  add(broken[0]);
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
  EXPECT_EQ(read.summary.other_port, 1u);
  EXPECT_EQ(read.summary.incomplete, 1u);
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
  EXPECT_EQ(cut.error.rfind("a block of type 6 needs ", 0), 0u) << cut.error;
  std::remove(path.c_str());
  std::remove(cut_path.c_str());
}

TEST(CaptureApi, WhatIsNoCaptureIsSaidSo) {
  const std::string path = ::testing::TempDir() + "capture_api_test_text.pcapng";
  const std::string text = "Receiving datagrams...\n--> Telegram Type: 6\r\n";
  ASSERT_TRUE(WriteBytesToFile(path, Bytes(text.begin(), text.end())));
  const Read read = ReadCapture(path, 9999);
  EXPECT_TRUE(read.payloads.empty());
  EXPECT_EQ(read.summary.end, TGR_CAPTURE_DAMAGED);
  EXPECT_EQ(read.error, "not a capture file: it starts with neither the pcap nor the pcapng magic number");
  EXPECT_EQ(read.summary.end_offset, 0u);
  std::remove(path.c_str());

  tgr_capture* capture = nullptr;
  char error[256];
  EXPECT_EQ(tgr_capture_open("/nonexistent-folder/x.pcapng", 9999, &capture, error, sizeof error), TGR_E_FILE);
  EXPECT_EQ(capture, nullptr);
  EXPECT_EQ(std::string(error), "cannot read the capture /nonexistent-folder/x.pcapng: No such file or directory");
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
  tgr_datagram d;
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
