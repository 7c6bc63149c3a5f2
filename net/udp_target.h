// One host and port to send UDP datagrams to, over a socket of its own, for
// the sender and the tests. The socket library and the socket are given
// back when it is destroyed.
#ifndef NET_UDP_TARGET_H_
#define NET_UDP_TARGET_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/udp_socket.h"

class UdpTarget {
 public:
  // Resolves `host` (an IPv4 address or a name) and opens a socket to send
  // to it. False, with `*err` saying why in a line.
  bool Open(const char* host, uint16_t port, std::string* err);

  // Sends one datagram, waiting for room in a full send queue rather than
  // dropping it. False, with the cause in `*err`, if it cannot be sent.
  bool Send(const unsigned char* bytes, size_t length, std::string* err) const;

  // From now on, each sender's datagrams (a replay's several scanners) go
  // from a socket of their own, so that the receiving side tells the
  // senders apart as it did live: bound to the sender's own port where it
  // is free, and, when the target is on this computer (127.0.0.0/8), to a
  // loopback address of the sender's own (127 and the sender's last three
  // bytes: 10.0.0.7 sends from 127.0.0.7). The first kMostSenders senders
  // get sockets; any more share the first socket.
  void KeepSendersApart() { apart_ = true; }
  static constexpr size_t kMostSenders = 64;
  // Sends one datagram as from `sender` (host order), as Send does.
  bool SendFrom(uint32_t sender_address, uint16_t sender_port, const unsigned char* bytes, size_t length,
                std::string* err);

 private:
  struct SenderSocket {
    uint32_t address;
    uint16_t port;
    UdpSocket socket;
  };
  // The socket of `sender`, opened and bound at its first datagram.
  const UdpSocket& SocketOf(uint32_t sender_address, uint16_t sender_port);

  SocketLibrary library_;  // first in, last out
  UdpSocket socket_;
  bool apart_ = false;
  std::vector<SenderSocket> senders_;
  uint32_t address_ = 0;  // IPv4, network byte order
  uint16_t port_ = 0;     // host byte order
};

#endif  // NET_UDP_TARGET_H_
