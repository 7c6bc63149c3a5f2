// The receiver on the loopback: every byte, its source and time; the waits
// that end by time-out and by cancel; what the system dropped; the words of
// each failure; and what it receives, recorded whole.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "capture/byte_source.h"
#include "capture/capture_file.h"
#include "capture/udp_datagrams.h"
#include "net/socket.h"
#include "net/udp_socket.h"
#include "tgr/tgr.h"
#include "tgr/tgr.hpp"

namespace {

const uint32_t kLoopback = 0x7F000001;

int64_t WallNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A receiver on a free loopback port, closed at the end of the test.
class Receiving : public ::testing::Test {
 protected:
  void SetUp() override { Open(0); }
  void TearDown() override { tgr_receiver_close(receiver_, nullptr, 0); }

  void Open(int buffer_bytes) {
    tgr_receiver_close(receiver_, nullptr, 0);
    char error[256] = "";
    ASSERT_EQ(tgr_receiver_open("127.0.0.1", 0, buffer_bytes, &receiver_, error, sizeof error), TGR_OK) << error;
    ASSERT_EQ(library_.Start(), 0);
    ASSERT_EQ(sender_.Open(), 0);
    ASSERT_EQ(NetBindAddress(sender_.handle(), 0, 0), 0);
    ASSERT_EQ(NetBoundPort(sender_.handle(), &sender_port_), 0);
  }

  void Send(const std::vector<unsigned char>& bytes) {
    ASSERT_EQ(NetSendTo(sender_.handle(), htonl_loopback(), tgr_receiver_port(receiver_), bytes.data(), bytes.size()),
              0);
  }
  static uint32_t htonl_loopback() {
    uint32_t address = 0;
    EXPECT_EQ(NetResolveIpv4("127.0.0.1", &address), 0);
    return address;
  }

  tgr_receiver* receiver_ = nullptr;
  SocketLibrary library_;
  UdpSocket sender_;
  uint16_t sender_port_ = 0;
};

TEST_F(Receiving, EveryByteComesWithItsSourceAndTime) {
  std::vector<std::vector<unsigned char>> sent = {{}, std::vector<unsigned char>(100), std::vector<unsigned char>(65507)};
  for (auto& bytes : sent) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 13 + bytes.size());
  }
  const int64_t before = WallNs();
  for (const auto& bytes : sent) Send(bytes);
  std::vector<unsigned char> buffer(TGR_MAX_TELEGRAM_SIZE);
  for (const auto& bytes : sent) {
    tgr_datagram d = tgr::Sized<tgr_datagram>();
    ASSERT_EQ(tgr_receiver_next(receiver_, 2000, buffer.data(), buffer.size(), &d), TGR_OK)
        << tgr_receiver_error(receiver_);
    ASSERT_EQ(d.size, bytes.size());
    EXPECT_EQ(std::vector<unsigned char>(buffer.begin(), buffer.begin() + static_cast<long>(d.size)), bytes);
    EXPECT_EQ(d.truncated, 0);
    EXPECT_EQ(d.source_address, kLoopback);
    EXPECT_EQ(d.source_port, sender_port_);
    EXPECT_GE(d.time_ns, before);
    EXPECT_LE(d.time_ns, WallNs());
#if defined(__linux__)
    EXPECT_EQ(d.kernel_time, 1);
#endif
  }
}

TEST_F(Receiving, ALongerDatagramIsCutAndSaidSo) {
  Send(std::vector<unsigned char>(100, 7));
  unsigned char buffer[10];
  tgr_datagram d = tgr::Sized<tgr_datagram>();
  ASSERT_EQ(tgr_receiver_next(receiver_, 2000, buffer, sizeof buffer, &d), TGR_OK) << tgr_receiver_error(receiver_);
  EXPECT_EQ(d.size, 10u);
  EXPECT_EQ(d.truncated, 1);
}

// Bound to every address, each datagram's own destination is said: what a
// recording puts in its IPv4 header.
TEST(ReceiverDestination, EachDatagramsOwnDestination) {
  tgr::Receiver receiver;
  std::string error;
  ASSERT_EQ(receiver.Open("", 0, &error), TGR_OK) << error;
  EXPECT_EQ(receiver.destination(), 0u) << "nothing taken yet";
  SocketLibrary library;
  ASSERT_EQ(library.Start(), 0);
  UdpSocket sender;
  ASSERT_EQ(sender.Open(), 0);
  const unsigned char byte = 1;
  for (const char* to : {"127.0.0.1", "127.0.0.2", "127.0.0.1"}) {
    uint32_t address = 0;
    ASSERT_EQ(NetResolveIpv4(to, &address), 0);
    ASSERT_EQ(NetSendTo(sender.handle(), address, receiver.port(), &byte, 1), 0);
    std::vector<unsigned char> bytes;
    tgr_datagram d = tgr::Sized<tgr_datagram>();
    ASSERT_EQ(receiver.Next(2000, &bytes, &d), TGR_OK) << receiver.error();
    const unsigned char* a = reinterpret_cast<const unsigned char*>(&address);
    EXPECT_EQ(receiver.destination(), static_cast<uint32_t>(a[0] << 24 | a[1] << 16 | a[2] << 8 | a[3])) << to;
  }
  EXPECT_EQ(tgr_receiver_destination(nullptr), 0u);
}

TEST_F(Receiving, AWaitEndsByItsTimeOutOrByCancel) {
  unsigned char buffer[64];
  tgr_datagram d = tgr::Sized<tgr_datagram>();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(tgr_receiver_next(receiver_, 0, buffer, sizeof buffer, &d), TGR_E_TIMEOUT);
  {
    // A time-out that did not end the wait would be ended by this cancel,
    // 2 s on, and show as TGR_E_CANCELLED.
    std::thread watchdog([this] {
      std::this_thread::sleep_for(std::chrono::seconds(2));
      tgr_receiver_cancel(receiver_);
    });
    EXPECT_EQ(tgr_receiver_next(receiver_, 150, buffer, sizeof buffer, &d), TGR_E_TIMEOUT);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(145));
    EXPECT_LT(waited, std::chrono::seconds(1));
    watchdog.join();
  }
  Open(0);

  // A wait without end, cancelled from another thread: it ends within a
  // second of the cancel (a cancel that did nothing leaves it to the test's
  // own time-out).
  std::thread canceller([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    tgr_receiver_cancel(receiver_);
  });
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(tgr_receiver_next(receiver_, -1, buffer, sizeof buffer, &d), TGR_E_CANCELLED);
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1100));
  // A cancel is for good: a datagram already waiting is still given, then
  // every wait ends at once.
  Send({1, 2, 3});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(tgr_receiver_next(receiver_, 1000, buffer, sizeof buffer, &d), TGR_OK);
  EXPECT_EQ(d.size, 3u);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(tgr_receiver_next(receiver_, -1, buffer, sizeof buffer, &d), TGR_E_CANCELLED);
  EXPECT_EQ(tgr_receiver_next(receiver_, 5000, buffer, sizeof buffer, &d), TGR_E_CANCELLED);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

#if defined(__linux__)
// Datagrams that find the socket's buffer full are counted by the system:
// what came and what was dropped add up to what was sent.
TEST_F(Receiving, WhatTheSystemDroppedIsCounted) {
  Open(4096);
  const int sent = 300;
  for (int i = 0; i < sent; ++i) Send(std::vector<unsigned char>(1000, static_cast<unsigned char>(i)));
  std::vector<unsigned char> buffer(2000);
  int received = 0;
  tgr_datagram d = tgr::Sized<tgr_datagram>();
  while (tgr_receiver_next(receiver_, 200, buffer.data(), buffer.size(), &d) == TGR_OK) ++received;
  uint64_t dropped = 0;
  int system_wide = -1;
  ASSERT_EQ(tgr_receiver_drops(receiver_, &dropped, &system_wide), TGR_OK) << tgr_receiver_error(receiver_);
  EXPECT_EQ(system_wide, 0);
  EXPECT_GT(dropped, 0u);
  EXPECT_EQ(static_cast<uint64_t>(received) + dropped, static_cast<uint64_t>(sent));
}
#endif

// The C++ layer's receive into a vector: each datagram's bytes exactly, the
// vector the size of what came, a small one after the largest too; and the
// receiver moves with its socket.
TEST_F(Receiving, TheCxxReceiverGivesEachDatagramsBytesExactly) {
  tgr::Receiver first;
  std::string error;
  ASSERT_EQ(first.Open("127.0.0.1", 0, &error), TGR_OK) << error;
  tgr::Receiver receiver(std::move(first));
  EXPECT_FALSE(first.is_open());  // NOLINT(bugprone-use-after-move,clang-analyzer-cplusplus.Move): moved from
  const std::vector<std::vector<unsigned char>> sent = {std::vector<unsigned char>(65507, 7), {1, 2, 3}, {}};
  for (const auto& bytes : sent) {
    ASSERT_EQ(NetSendTo(sender_.handle(), htonl_loopback(), receiver.port(), bytes.data(), bytes.size()), 0);
  }
  std::vector<unsigned char> got(5, 9);
  for (const auto& bytes : sent) {
    tgr::Datagram d;
    ASSERT_EQ(receiver.Next(2000, &got, &d), TGR_OK) << receiver.error();
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(d.size, bytes.size());
  }
  tgr::Datagram d;
  EXPECT_EQ(receiver.Next(0, &got, &d), TGR_E_TIMEOUT);
  EXPECT_TRUE(got.empty());
}

TEST(ReceiverOpen, EachFailureIsOneLineOfWords) {
  tgr_receiver* first = nullptr;
  char error[256] = "";
  ASSERT_EQ(tgr_receiver_open("127.0.0.1", 0, 0, &first, error, sizeof error), TGR_OK) << error;
  const uint16_t port = tgr_receiver_port(first);
  tgr_receiver* second = reinterpret_cast<tgr_receiver*>(&error);  // overwritten with NULL on failure
  errno = 0;
  EXPECT_EQ(tgr_receiver_open("127.0.0.1", port, 0, &second, error, sizeof error), TGR_E_SOCKET);
  EXPECT_EQ(second, nullptr);
  // In this system's own words and number: Windows users know the Windows
  // Sockets numbers, others the system's words and errno.
#ifdef _WIN32
  EXPECT_EQ(std::string(error), "cannot open UDP port " + std::to_string(port) +
                                    " on 127.0.0.1: address already in use (10048)");
  EXPECT_EQ(errno, 10048);
#else
  EXPECT_EQ(std::string(error), "cannot open UDP port " + std::to_string(port) + " on 127.0.0.1: " + strerror(EADDRINUSE));
  EXPECT_EQ(errno, EADDRINUSE);
#endif
  tgr_receiver_close(first, nullptr, 0);

  EXPECT_EQ(tgr_receiver_open("no-such-host.invalid", 0, 0, &second, error, sizeof error), TGR_E_SOCKET);
  EXPECT_EQ(std::string(error).rfind("cannot find the address no-such-host.invalid: ", 0), 0u) << error;
  EXPECT_EQ(tgr_receiver_open(nullptr, 0, -1, &second, error, sizeof error), TGR_E_ARGUMENT);
  EXPECT_EQ(std::string(error), "a socket buffer of -1 bytes: give 0 or more");
  // Words cut to the room given, always ended.
  char little[8];
  EXPECT_EQ(tgr_receiver_open(nullptr, 0, -1, &second, little, sizeof little), TGR_E_ARGUMENT);
  EXPECT_STREQ(little, "a socke");
}

// A group is joined on the interface named, its port shared by every
// receiver of it; the options are checked before anything is opened.
TEST(ReceiverOpen, AMulticastGroupIsJoinedAndItsPortShared) {
  char error[256] = "";
  tgr_receiver* receiver = nullptr;
  tgr_receiver_options options = {};
  EXPECT_EQ(tgr_receiver_open_with("239.1.2.3", 0, &options, &receiver, error, sizeof error), TGR_E_ARGUMENT);
  options.struct_size = sizeof options;
  options.interface_name = "127.0.0.1";
  EXPECT_EQ(tgr_receiver_open_with("127.0.0.1", 0, &options, &receiver, error, sizeof error), TGR_E_ARGUMENT);
  EXPECT_STREQ(error, "an interface (127.0.0.1) is given only with a multicast group, and 127.0.0.1 is none");
  EXPECT_EQ(receiver, nullptr);
  ASSERT_EQ(tgr_receiver_open_with("127.0.0.1", 0, nullptr, &receiver, error, sizeof error), TGR_OK) << error;
  EXPECT_EQ(tgr_receiver_multicast(receiver), 0);
  tgr_receiver_close(receiver, nullptr, 0);
#ifndef _WIN32
  tgr::Receiver first;
  std::string words;
  ASSERT_EQ(first.Open("239.1.2.3", 0, &words, 0, "127.0.0.1"), TGR_OK) << words;
  EXPECT_TRUE(first.multicast());
  tgr::Receiver second;
  ASSERT_EQ(second.Open("239.1.2.3", first.port(), &words, 0, "lo"), TGR_OK) << words;
  UdpSocket sender;
  ASSERT_EQ(sender.Open(), 0);
  // Sent out of loopback, where the group was joined.
  const in_addr loopback = {htonl(INADDR_LOOPBACK)};
  ASSERT_EQ(setsockopt(static_cast<int>(sender.handle()), IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback), 0);
  uint32_t group = 0;
  ASSERT_EQ(NetResolveIpv4("239.1.2.3", &group), 0);
  const unsigned char bytes[] = {1, 2, 3, 4, 5};
  ASSERT_EQ(NetSendTo(sender.handle(), group, first.port(), bytes, sizeof bytes), 0);
  for (tgr::Receiver* r : {&first, &second}) {
    std::vector<unsigned char> got;
    tgr_datagram datagram = {};
    ASSERT_EQ(r->Next(5000, &got, &datagram), TGR_OK) << r->error();
    EXPECT_EQ(got, std::vector<unsigned char>(bytes, bytes + sizeof bytes));
    EXPECT_EQ(r->destination(), 0xEF010203u);  // the group, for a recording's header
  }
  tgr::Receiver refused;
  EXPECT_EQ(refused.Open("239.1.2.3", 0, &words, 0, "no-such-interface"), TGR_E_SOCKET);
  EXPECT_EQ(words, std::string("cannot join the multicast group 239.1.2.3 on the interface no-such-interface: ") +
                       strerror(ENODEV));
#endif
}

}  // namespace

namespace {

// Received, recorded, and read back by the replay's reader: the same bytes,
// time and ends.
TEST_F(Receiving, WhatIsReceivedIsRecordedWhole) {
  const std::string path = ::testing::TempDir() + "udp_receiver_test.pcapng";
  tgr::Recorder recorder;
  std::string error;
  ASSERT_EQ(recorder.Open(path, &error), TGR_OK) << error;
  std::vector<unsigned char> sent(65507);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<unsigned char>(i % 251);
  Send(sent);
  Send({});
  std::vector<tgr_datagram> taken;
  for (int i = 0; i < 2; ++i) {
    std::vector<unsigned char> buffer(TGR_MAX_TELEGRAM_SIZE);
    tgr_datagram d = tgr::Sized<tgr_datagram>();
    ASSERT_EQ(tgr_receiver_next(receiver_, 2000, buffer.data(), buffer.size(), &d), TGR_OK);
    ASSERT_EQ(recorder.Write(d, buffer.data(), d.size, kLoopback, tgr_receiver_port(receiver_)), TGR_OK)
        << recorder.error();
    taken.push_back(d);
  }
  EXPECT_EQ(recorder.packets(), 2u);
  ASSERT_EQ(recorder.Close(&error), TGR_OK) << error;

  std::string err;
  FileSource file;
  ASSERT_TRUE(file.Open(path, &err)) << err;
  CaptureReader reader(&file);
  UdpDatagramReader datagrams(tgr_receiver_port(receiver_));
  CapturedPacket packet;
  std::vector<std::vector<unsigned char>> got;
  std::vector<uint64_t> times;
  while (reader.Next(&packet)) {
    CapturedDatagram d;
    // The source as received: 127.0.0.1 and the sender's port.
    EXPECT_EQ(packet.bytes[12], 127);
    EXPECT_EQ(packet.bytes[20] << 8 | packet.bytes[21], sender_port_);
    if (!datagrams.Take(packet, &d)) continue;
    got.emplace_back(d.payload, d.payload + d.size);
    times.push_back(d.time.seconds * 1000000000ULL + d.time.nanoseconds);
  }
  EXPECT_EQ(reader.end(), kCaptureWhole) << reader.end_words();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], sent);
  EXPECT_TRUE(got[1].empty());
  EXPECT_EQ(times[0], static_cast<uint64_t>(taken[0].time_ns));
  EXPECT_EQ(times[1], static_cast<uint64_t>(taken[1].time_ns));
  std::remove(path.c_str());
}

}  // namespace
