// Sending datagrams over UDP on POSIX sockets, for the sender tool and the
// end-to-end tests.
#ifndef SENDER_UDP_SEND_H_
#define SENDER_UDP_SEND_H_

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

struct UdpTarget {
  int fd;
  sockaddr_in address;
};

// Resolves `host` (an IPv4 address or a name) and opens a socket to send to
// it. True on success; otherwise `error` holds a line saying why.
bool OpenUdpTarget(UdpTarget* target, const char* host, uint16_t port, char* error, size_t error_size);

// Sends one datagram. 0, or the errno of the failure.
int SendDatagram(const UdpTarget& target, const unsigned char* bytes, size_t length);

void CloseUdpTarget(UdpTarget* target);

#endif  // SENDER_UDP_SEND_H_
