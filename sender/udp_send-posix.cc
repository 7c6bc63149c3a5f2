// Sending datagrams on POSIX sockets.
#include "sender/udp_send.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

bool OpenUdpTarget(UdpTarget* target, const char* host, uint16_t port, char* error, size_t error_size) {
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  int status = getaddrinfo(host, nullptr, &hints, &found);
  if (status != 0) {
    snprintf(error, error_size, "cannot resolve host '%s': %s", host, gai_strerror(status));
    return false;
  }
  sockaddr_in resolved = {};
  memcpy(&resolved, found->ai_addr, sizeof resolved);
  freeaddrinfo(found);
  target->address = resolved.sin_addr.s_addr;
  target->port = port;

  int fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (fd < 0) {
    snprintf(error, error_size, "cannot open a UDP socket: %s", strerror(errno));
    return false;
  }
  target->sock = static_cast<std::uintptr_t>(fd);
  return true;
}

int SendDatagram(const UdpTarget& target, const unsigned char* bytes, size_t length) {
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(target.port);
  to.sin_addr.s_addr = target.address;
  for (;;) {
    ssize_t sent = sendto(static_cast<int>(target.sock), bytes, length, 0, reinterpret_cast<const sockaddr*>(&to),
                          sizeof to);
    if (sent >= 0) return 0;
    if (errno == EINTR) continue;
    // A full send queue on a busy host: wait for room rather than drop.
    if (errno == ENOBUFS || errno == EAGAIN) {
      const timespec pause = {0, 100000};
      nanosleep(&pause, nullptr);
      continue;
    }
    return errno;
  }
}

void DescribeSendError(int code, char* text, size_t text_size) { snprintf(text, text_size, "%s", strerror(code)); }

void CloseUdpTarget(UdpTarget* target) { close(static_cast<int>(target->sock)); }
