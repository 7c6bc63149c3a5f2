// Sending datagrams over UDP, for the sender tool and the end-to-end tests.
// One implementation per platform (udp_send-posix.cc: POSIX sockets;
// udp_send-win32.cc: Windows Sockets 2); the build picks one.
#ifndef SENDER_UDP_SEND_H_
#define SENDER_UDP_SEND_H_

#include <cstddef>
#include <cstdint>

struct UdpTarget {
  std::uintptr_t sock;    // a POSIX descriptor or a Windows SOCKET
  uint32_t address;       // IPv4, network byte order
  uint16_t port;          // host byte order
};

// Resolves `host` (an IPv4 address or a name) and opens a socket to send to
// it. True on success; otherwise `error` holds a line saying why.
bool OpenUdpTarget(UdpTarget* target, const char* host, uint16_t port, char* error, size_t error_size);

// Sends one datagram, waiting for room in a full send queue rather than
// dropping it. 0, or the platform's error code of the failure.
int SendDatagram(const UdpTarget& target, const unsigned char* bytes, size_t length);

// Words for an error code that SendDatagram returned.
void DescribeSendError(int code, char* text, size_t text_size);

void CloseUdpTarget(UdpTarget* target);

#endif  // SENDER_UDP_SEND_H_
