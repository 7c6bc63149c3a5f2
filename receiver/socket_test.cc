// The platform's socket layer, on the real socket library.
#include "receiver/socket.h"

#include <gtest/gtest.h>

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
  // Nothing has been sent: a receive would wait.
  EXPECT_EQ(NetDatagramWaiting(first), 0);
  NetClose(second);
  NetClose(first);
  NetCleanup();
}

TEST(SocketLayer, ReceiveOnAClosedSocketFailsWithNotASocket) {
  ASSERT_EQ(NetStartup(), 0);
  NetSocket sock = 0;
  ASSERT_EQ(NetOpenUdp(&sock), 0);
  NetClose(sock);
  unsigned char buffer[64];
  EXPECT_EQ(NetReceive(sock, buffer, sizeof buffer), -1);
  EXPECT_EQ(NetLastError(), 10038);
  NetCleanup();
}
