// The waits for a datagram, on the real socket library: what they tell,
// when they wake, and the drop count they let the receiver read.
#include "receiver/waits.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "net/socket.h"
#include "net/udp_socket.h"
#include "net/udp_target.h"

namespace {

// A socket bound to the receiver's port, and a target that sends to it.
class Waits : public testing::Test {
 protected:
  // Binds the socket, with a receive buffer of `receive_buffer` bytes if
  // not 0; false if it cannot.
  bool Bind(int receive_buffer = 0) {
    if (library_.Start() != 0 || socket_.Open() != 0) return false;
    if (receive_buffer != 0 && NetSetReceiveBuffer(sock(), receive_buffer) != 0) return false;
    return NetBindAnyAddress(sock(), 9999) == 0 && target_.Open("127.0.0.1", 9999, &why_);
  }
  NetSocket sock() const { return socket_.handle(); }
  // Sends `size` bytes of `datagram`.
  bool Send(const unsigned char* datagram, size_t size) { return target_.Send(datagram, size, &why_); }

  std::string why_;

 private:
  SocketLibrary library_;
  UdpSocket socket_;
  UdpTarget target_;
};

}  // namespace

// Where interrupts are not watched (they cannot be, or the watch is over),
// the wait blocks as a plain socket does.
TEST_F(Waits, WaitWithoutWatchedInterruptsBlocksUntilADatagramComes) {
  {
    InterruptWatch over;
    ASSERT_EQ(over.Start(), 0);
  }
  ASSERT_TRUE(Bind()) << why_;
  std::thread later([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const unsigned char datagram[3] = {1, 2, 3};
    EXPECT_TRUE(Send(datagram, sizeof datagram)) << why_;
  });
  DatagramWait wait = kInterrupted;
  EXPECT_EQ(WaitForDatagram(sock(), true, &wait), 0);
  EXPECT_EQ(wait, kDatagramWaiting);
  later.join();
  unsigned char buffer[64];
  int received = 0;
  EXPECT_EQ(NetReceive(sock(), buffer, sizeof buffer, &received), 0);
  EXPECT_EQ(received, 3);
}

TEST_F(Waits, WaitTellsAQueuedDatagramAndWakesWhenOneArrives) {
  InterruptWatch interrupts;
  ASSERT_EQ(interrupts.Start(), 0);
  ASSERT_TRUE(Bind()) << why_;
  const NetSocket sock = this->sock();
  DatagramWait wait = kInterrupted;
  EXPECT_EQ(WaitForDatagram(sock, false, &wait), 0);
  EXPECT_EQ(wait, kNoDatagramWaiting);
  const unsigned char datagram[3] = {1, 2, 3};
  unsigned char buffer[64];
  // Sent while the wait blocks, and twice: the second arrives while the
  // first is being received, and is seen without blocking.
  for (int round = 0; round < 3; ++round) {
    std::thread later([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      EXPECT_TRUE(Send(datagram, sizeof datagram)) << why_;
      EXPECT_TRUE(Send(datagram, 2)) << why_;
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
}

TEST_F(Waits, DatagramsWithNoRoomAreCountedAsDropped) {
  // The smallest buffer the system grants, so that a short burst overflows it.
  ASSERT_TRUE(Bind(1)) << why_;
  const NetSocket sock = this->sock();
  int buffer_bytes = 0;
  int as_asked = 0;
  ASSERT_EQ(NetReadReceiveBuffer(sock, &buffer_bytes, &as_asked), 0);
  EXPECT_GT(as_asked, 0);
  EXPECT_GE(buffer_bytes, as_asked);
  uint32_t before = 0;
  DropCountScope scope = kDropsOfThisSocket;
  ASSERT_EQ(NetReadDropCount(sock, true, &before, &scope), 0);

  const unsigned char datagram[1400] = {};
  const int sent = 200;
  for (int i = 0; i < sent; ++i) ASSERT_TRUE(Send(datagram, sizeof datagram)) << why_;

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
}
