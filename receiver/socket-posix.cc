// The socket layer on POSIX sockets.
#include "receiver/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "receiver/socket_error_words.h"

namespace {

int last_error = 0;

int Fd(NetSocket sock) { return static_cast<int>(sock); }

}  // namespace

int NetErrorCode(int platform_error) {
  // What Windows Sockets reports in the same situation.
  switch (platform_error) {
    case EINTR: return 10004;
    case EPERM:
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case ENFILE:
    case EMFILE: return 10024;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case EBADF:
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
#if ENOTSUP != EOPNOTSUPP
    case ENOTSUP:
#endif
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    // A UDP receive after an ICMP "port unreachable" fails with
    // WSAECONNRESET on Windows, and with ECONNREFUSED here.
    case ECONNRESET:
    case ECONNREFUSED: return 10054;
    case ENOMEM:
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    case EUSERS: return 10068;
    case EDQUOT: return 10069;
    case ESTALE: return 10070;
    case EREMOTE: return 10071;
    default: return platform_error;
  }
}

void NetDescribeError(int code, char* text, size_t text_size) {
  const char* words = SocketErrorWords(code);
  // A code with no Windows Sockets number is an errno value.
  snprintf(text, text_size, "%s (%d)", words != nullptr ? words : strerror(code), code);
}

int NetStartup() { return 0; }

void NetCleanup() {}

int NetOpenUdp(NetSocket* sock) {
  int fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (fd < 0) return NetErrorCode(errno);
  *sock = static_cast<NetSocket>(fd);
  return 0;
}

int NetSetReceiveBuffer(NetSocket sock, int bytes) {
  if (setsockopt(Fd(sock), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) return NetErrorCode(errno);
  return 0;
}

int NetBindAnyAddress(NetSocket sock, uint16_t port) {
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(Fd(sock), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return NetErrorCode(errno);
  return 0;
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
    last_error = NetErrorCode(errno);
    return -1;
  }
}

int NetLastError() { return last_error; }

void NetClose(NetSocket sock) { close(Fd(sock)); }
