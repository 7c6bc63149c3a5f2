// One host and port to send UDP datagrams to, over a socket of its own, for
// the sender and the tests. The socket library and the socket are given
// back when it is destroyed.
#ifndef NET_UDP_TARGET_H_
#define NET_UDP_TARGET_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/udp_socket.h"

class UdpTarget {
 public:
  // Resolves `host` (an IPv4 address or a name) and opens a socket to send
  // to it. False, with `*err` saying why in a line.
  bool Open(const char* host, uint16_t port, std::string* err);

  // Sends one datagram, waiting for room in a full send queue rather than
  // dropping it. False, with the cause in `*err`, if it cannot be sent.
  bool Send(const unsigned char* bytes, size_t length, std::string* err) const;

 private:
  SocketLibrary library_;  // first in, last out
  UdpSocket socket_;
  uint32_t address_ = 0;  // IPv4, network byte order
  uint16_t port_ = 0;     // host byte order
};

#endif  // NET_UDP_TARGET_H_
