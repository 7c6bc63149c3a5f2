// The platform's socket layer, on the real socket library, and its owning
// types.
#include "net/socket.h"

#include <gtest/gtest.h>

#include <utility>

#include "net/udp_socket.h"

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


// A socket closes itself: its port is free again once it is gone, and a
// moved one is closed once, by its new owner.
TEST(SocketLayer, ASocketClosesItselfOnceWhereverItWasMoved) {
  SocketLibrary library;
  ASSERT_EQ(library.Start(), 0);
  {
    UdpSocket first;
    ASSERT_EQ(first.Open(), 0);
    ASSERT_EQ(NetBindAnyAddress(first.handle(), 9999), 0);
    UdpSocket moved(std::move(first));
    EXPECT_FALSE(first.is_open());  // NOLINT(bugprone-use-after-move,clang-analyzer-cplusplus.Move): what a move leaves
    EXPECT_TRUE(moved.is_open());
    UdpSocket second;
    ASSERT_EQ(second.Open(), 0);
    EXPECT_EQ(NetBindAnyAddress(second.handle(), 9999), 10048) << "the moved socket still holds the port";
    second = std::move(moved);
    EXPECT_TRUE(second.is_open());
  }
  UdpSocket again;
  ASSERT_EQ(again.Open(), 0);
  EXPECT_EQ(NetBindAnyAddress(again.handle(), 9999), 0) << "the port was let go";
}
