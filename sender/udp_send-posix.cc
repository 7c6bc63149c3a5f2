#include "sender/udp_send.h"

#include <netdb.h>
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
  memcpy(&target->address, found->ai_addr, sizeof target->address);
  freeaddrinfo(found);
  target->address.sin_port = htons(port);

  target->fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (target->fd < 0) {
    snprintf(error, error_size, "cannot open a UDP socket: %s", strerror(errno));
    return false;
  }
  return true;
}

int SendDatagram(const UdpTarget& target, const unsigned char* bytes, size_t length) {
  for (;;) {
    ssize_t sent = sendto(target.fd, bytes, length, 0, reinterpret_cast<const sockaddr*>(&target.address),
                          sizeof target.address);
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

void CloseUdpTarget(UdpTarget* target) {
  if (target->fd >= 0) close(target->fd);
  target->fd = -1;
}
