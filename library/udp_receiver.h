// The telegrams as they arrive: a UDP port opened on an address, each
// datagram taken with a time-out, its receive time and source, the
// system's drop count, and a wait that another thread can end. No signals
// and no state of the process are touched, and nothing is printed: every
// failure is a code and words.
#ifndef LIBRARY_UDP_RECEIVER_H_
#define LIBRARY_UDP_RECEIVER_H_

#include <cstdint>
#include <string>

#include "net/socket_wait.h"
#include "net/udp_socket.h"
#include "tgr/tgr.h"

namespace tgr {

class UdpReceiver {
 public:
  UdpReceiver() = default;
  UdpReceiver(const UdpReceiver&) = delete;
  UdpReceiver& operator=(const UdpReceiver&) = delete;

  // Opens `port` (0: one the system chooses) on `address` (a dotted IPv4
  // address or a host name; empty: every local IPv4 address), asking for a
  // socket receive buffer of `buffer_bytes` (0: 8 MiB, as telegram-receiver
  // asks). A multicast group's address is joined on the interface
  // `interface_name` names (its address, or on Linux its name; empty: the
  // system's choice), with the port shared with other programs that
  // receive the group; the group is left when the receiver ends. A tgr
  // result code; on failure, words in error().
  int Open(const std::string& address, uint16_t port, int buffer_bytes, const std::string& interface_name = "");

  // Whether the address opened is a multicast group.
  bool multicast() const { return multicast_; }

  // The next datagram into `buffer`, waiting up to `timeout_ms` (negative:
  // without end). TGR_OK, TGR_E_TIMEOUT, TGR_E_CANCELLED or TGR_E_SOCKET.
  int Next(int timeout_ms, unsigned char* buffer, size_t capacity, tgr_datagram* datagram);

  // From any thread: the wait under way and every one after end.
  void Cancel() { wait_.Cancel(); }

  // The datagrams the system dropped since Open, and whose.
  int Drops(uint64_t* dropped, bool* system_wide);

  // The address the last datagram taken was sent to, in host order: its
  // header's where the system says it, else the address bound (0: every
  // address).
  uint32_t destination() const { return destination_; }

  uint16_t port() const { return port_; }
  const std::string& error() const { return error_; }
  // The system's own number of the last failure (an errno value on POSIX).
  int os_error() const { return os_error_; }

 private:
  int Fail(const std::string& doing, int code);

  SocketLibrary library_;
  UdpSocket socket_;
  GroupMembership membership_;  // after the socket: left before it closes
  SocketWait wait_;  // after the socket: closed before it
  std::string where_;  // "UDP port P on A", for the words of a failure
  uint16_t port_ = 0;
  uint32_t bound_address_ = 0;  // network order; 0: every address
  uint32_t destination_ = 0;    // host order
  bool multicast_ = false;
  bool counting_drops_ = false;
  uint32_t drops_last_ = 0;  // the system's count at the last look
  uint64_t drops_ = 0;
  std::string error_;
  int os_error_ = 0;
};

}  // namespace tgr

#endif  // LIBRARY_UDP_RECEIVER_H_
