// The platform's socket layer and the wait for a datagram, on the real
// socket library.
#include "receiver/socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "receiver/waits.h"
#include "sender/udp_send.h"

// Where interrupts cannot be watched, the wait blocks as a plain socket
// does. Before any other test here watches them.
TEST(SocketLayer, WaitWithoutWatchedInterruptsBlocksUntilADatagramComes) {
  ASSERT_EQ(NetStartup(), 0);
  NetSocket sock = 0;
  ASSERT_EQ(NetOpenUdp(&sock), 0);
  ASSERT_EQ(NetBindAnyAddress(sock, 9999), 0);
  UdpTarget target = {};
  char why[256];
  ASSERT_TRUE(OpenUdpTarget(&target, "127.0.0.1", 9999, why, sizeof why)) << why;
  std::thread later([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const unsigned char datagram[3] = {1, 2, 3};
    EXPECT_EQ(SendDatagram(target, datagram, sizeof datagram), 0);
  });
  DatagramWait wait = kInterrupted;
  EXPECT_EQ(WaitForDatagram(sock, true, &wait), 0);
  EXPECT_EQ(wait, kDatagramWaiting);
  later.join();
  unsigned char buffer[64];
  int received = 0;
  EXPECT_EQ(NetReceive(sock, buffer, sizeof buffer, &received), 0);
  EXPECT_EQ(received, 3);
  CloseUdpTarget(&target);
  NetClose(sock);
  NetCleanup();
}

TEST(SocketLayer, SecondBindOnAPortReportsAddressInUse) {
  ASSERT_EQ(NetStartup(), 0);
  NetSocket first = 0;
  NetSocket second = 0;
  ASSERT_EQ(NetOpenUdp(&first), 0);
  ASSERT_EQ(NetOpenUdp(&second), 0);
  // Asking for a large receive buffer succeeds even where less is granted.
  EXPECT_EQ(NetSetReceiveBuffer(first, 8 * 1024 * 1024), 0);
  EXPECT_EQ(NetBindAnyAddress(first, 9999), 0);
  EXPECT_EQ(NetBindAnyAddress(second, 9999), 10048);
  char words[128];
  NetDescribeError(10048, words, sizeof words);
  EXPECT_STREQ(words, "address already in use (10048)");
  NetClose(second);
  NetClose(first);
  NetCleanup();
}

TEST(SocketLayer, DottedAddressResolvesToItsBytesInNetworkOrder) {
  ASSERT_EQ(NetStartup(), 0);
  uint32_t address = 0;
  ASSERT_EQ(NetResolveIpv4("192.0.2.7", &address), 0);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address);
  EXPECT_EQ(bytes[0], 192);
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(bytes[2], 2);
  EXPECT_EQ(bytes[3], 7);
  NetCleanup();
}

TEST(SocketLayer, ReceiveOnAClosedSocketFailsWithNotASocket) {
  ASSERT_EQ(NetStartup(), 0);
  NetSocket sock = 0;
  ASSERT_EQ(NetOpenUdp(&sock), 0);
  NetClose(sock);
  unsigned char buffer[64];
  int received = -1;
  EXPECT_EQ(NetReceive(sock, buffer, sizeof buffer, &received), 10038);
  EXPECT_EQ(received, -1) << "nothing received";
  NetCleanup();
}

TEST(SocketLayer, WaitTellsAQueuedDatagramAndWakesWhenOneArrives) {
  ASSERT_EQ(WatchInterrupts(), 0);
  ASSERT_EQ(NetStartup(), 0);
  NetSocket sock = 0;
  ASSERT_EQ(NetOpenUdp(&sock), 0);
  ASSERT_EQ(NetBindAnyAddress(sock, 9999), 0);
  DatagramWait wait = kInterrupted;
  EXPECT_EQ(WaitForDatagram(sock, false, &wait), 0);
  EXPECT_EQ(wait, kNoDatagramWaiting);

  UdpTarget target = {};
  char why[256];
  ASSERT_TRUE(OpenUdpTarget(&target, "127.0.0.1", 9999, why, sizeof why)) << why;
  const unsigned char datagram[3] = {1, 2, 3};
  unsigned char buffer[64];
  // Sent while the wait blocks, and twice: the second arrives while the
  // first is being received, and is seen without blocking.
  for (int round = 0; round < 3; ++round) {
    std::thread later([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      EXPECT_EQ(SendDatagram(target, datagram, sizeof datagram), 0);
      EXPECT_EQ(SendDatagram(target, datagram, 2), 0);
    });
    int received = 0;
    EXPECT_EQ(WaitForDatagram(sock, true, &wait), 0);
    EXPECT_EQ(wait, kDatagramWaiting);
    later.join();
    EXPECT_EQ(NetReceive(sock, buffer, sizeof buffer, &received), 0);
    EXPECT_EQ(received, 3);
    EXPECT_EQ(WaitForDatagram(sock, false, &wait), 0);
    EXPECT_EQ(wait, kDatagramWaiting);
    EXPECT_EQ(NetReceive(sock, buffer, sizeof buffer, &received), 0);
    EXPECT_EQ(received, 2);
    EXPECT_EQ(WaitForDatagram(sock, false, &wait), 0);
    EXPECT_EQ(wait, kNoDatagramWaiting);
  }
  CloseUdpTarget(&target);
  NetClose(sock);
  NetCleanup();
}

TEST(SocketLayer, DatagramsWithNoRoomAreCountedAsDropped) {
  ASSERT_EQ(NetStartup(), 0);
  NetSocket sock = 0;
  ASSERT_EQ(NetOpenUdp(&sock), 0);
  // The smallest buffer the system grants, so that a short burst overflows it.
  ASSERT_EQ(NetSetReceiveBuffer(sock, 1), 0);
  ASSERT_EQ(NetBindAnyAddress(sock, 9999), 0);
  int buffer_bytes = 0;
  int as_asked = 0;
  ASSERT_EQ(NetReadReceiveBuffer(sock, &buffer_bytes, &as_asked), 0);
  EXPECT_GT(as_asked, 0);
  EXPECT_GE(buffer_bytes, as_asked);
  uint32_t before = 0;
  DropCountScope scope = kDropsOfThisSocket;
  ASSERT_EQ(NetReadDropCount(sock, true, &before, &scope), 0);

  UdpTarget target = {};
  char why[256];
  ASSERT_TRUE(OpenUdpTarget(&target, "127.0.0.1", 9999, why, sizeof why)) << why;
  const unsigned char datagram[1400] = {};
  const int sent = 200;
  for (int i = 0; i < sent; ++i) ASSERT_EQ(SendDatagram(target, datagram, sizeof datagram), 0);
  CloseUdpTarget(&target);

  // Every datagram sent was either queued or dropped.
  int received = 0;
  DatagramWait wait = kDatagramWaiting;
  unsigned char buffer[2048];
  while (WaitForDatagram(sock, false, &wait) == 0 && wait == kDatagramWaiting) {
    int length = 0;
    ASSERT_EQ(NetReceive(sock, buffer, sizeof buffer, &length), 0);
    ++received;
  }
  uint32_t after = 0;
  ASSERT_EQ(NetReadDropCount(sock, true, &after, &scope), 0);
  EXPECT_LT(received, sent) << "the buffer of " << buffer_bytes << " bytes did not overflow";
  if (scope == kDropsOfThisSocket) {
    EXPECT_EQ(static_cast<int>(after - before), sent - received);
  } else {
    // A count of the whole system's has the others' drops in it too.
    EXPECT_GE(static_cast<int>(after - before), sent - received);
  }
  NetClose(sock);
  NetCleanup();
}
