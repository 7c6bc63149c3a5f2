// The socket layer on POSIX sockets.
#include "receiver/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

int last_error = 0;

// The Windows Sockets number of an errno value; others pass through as they are.
int WsaError(int error) {
  switch (error) {
    case EINTR: return 10004;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN: return 10035;
    case EBADF:
    case ENOTSOCK: return 10038;
    case EMSGSIZE: return 10040;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ECONNRESET:
    case ECONNREFUSED: return 10054;
    case ENOBUFS:
    case ENOMEM: return 10055;
    default: return error;
  }
}

int Fd(NetSocket sock) { return static_cast<int>(sock); }

}  // namespace

int NetStartup() { return 0; }

void NetCleanup() {}

int NetOpenUdp(NetSocket* sock) {
  int fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (fd < 0) return WsaError(errno);
  *sock = static_cast<NetSocket>(fd);
  return 0;
}

int NetSetReceiveBuffer(NetSocket sock, int bytes) {
  if (setsockopt(Fd(sock), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) return WsaError(errno);
  return 0;
}

int NetBindAnyAddress(NetSocket sock, uint16_t port) {
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(Fd(sock), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return WsaError(errno);
  return 0;
}

int NetDatagramWaiting(NetSocket sock) {
  pollfd entry = {Fd(sock), POLLIN, 0};
  int ready = poll(&entry, 1, 0);
  if (ready < 0) return -1;
  return ready > 0 ? 1 : 0;
}

int NetReceive(NetSocket sock, unsigned char* buffer, int length) {
  sockaddr_in sender = {};
  for (;;) {
    socklen_t sender_length = sizeof sender;
    ssize_t received = recvfrom(Fd(sock), buffer, static_cast<size_t>(length), 0,
                                reinterpret_cast<sockaddr*>(&sender), &sender_length);
    if (received >= 0) return static_cast<int>(received);
    // A signal that interrupts the wait is no failure of the socket.
    if (errno == EINTR) continue;
    last_error = WsaError(errno);
    return -1;
  }
}

int NetLastError() { return last_error; }

void NetClose(NetSocket sock) { close(Fd(sock)); }
