// Sending datagrams over UDP to one host and port, for the sender and the
// end-to-end tests, on the socket layer of receiver/socket.h.
#ifndef SENDER_UDP_SEND_H_
#define SENDER_UDP_SEND_H_

#include <cstddef>
#include <cstdint>

#include "receiver/socket.h"

struct UdpTarget {
  NetSocket sock;
  uint32_t address;  // IPv4, network byte order
  uint16_t port;     // host byte order
};

// Resolves `host` (an IPv4 address or a name) and opens a socket to send to
// it. True on success; otherwise `error` holds a line saying why.
bool OpenUdpTarget(UdpTarget* target, const char* host, uint16_t port, char* error, size_t error_size);

// Sends one datagram, waiting for room in a full send queue rather than
// dropping it. 0, or the error code of the failure (NetDescribeError has
// words for it).
int SendDatagram(const UdpTarget& target, const unsigned char* bytes, size_t length);

void CloseUdpTarget(UdpTarget* target);

#endif  // SENDER_UDP_SEND_H_
