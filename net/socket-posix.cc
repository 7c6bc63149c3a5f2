// The socket layer on POSIX sockets.
#include "net/socket.h"

#include <arpa/inet.h>
#include <linux/sock_diag.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "net/socket-posix_testing.h"
#include "net/socket_error_words.h"

namespace {

int Fd(NetSocket sock) { return static_cast<int>(sock); }

// The one place an IPv4 socket address is laid out.
sockaddr_in SocketAddress(uint32_t address, uint16_t port) {
  sockaddr_in at = {};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  at.sin_addr.s_addr = address;
  return at;
}

SendToCall send_to_call = sendto;

}  // namespace

void SetSendToCallForTesting(SendToCall call) { send_to_call = call != nullptr ? call : sendto; }

// What Windows Sockets reports for a name that getaddrinfo cannot resolve.
int ResolveErrorCode(int status) {
  switch (status) {
    case EAI_NONAME: return 11001;
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;
#endif
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
    case EAI_FAMILY: return 10047;
    case EAI_SOCKTYPE: return 10044;
    case EAI_MEMORY: return 10055;
    case EAI_SYSTEM: return NetErrorCode(errno);
    default: return 10022;
  }
}

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
  const int fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (fd < 0) return NetErrorCode(errno);
  *sock = static_cast<NetSocket>(fd);
  return 0;
}

void NetClose(NetSocket sock) { close(Fd(sock)); }

int NetSetReceiveBuffer(NetSocket sock, int bytes) {
  if (setsockopt(Fd(sock), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) return NetErrorCode(errno);
  return 0;
}

int NetBindAnyAddress(NetSocket sock, uint16_t port) { return NetBindAddress(sock, htonl(INADDR_ANY), port); }

int NetBindAddress(NetSocket sock, uint32_t address, uint16_t port) {
  const sockaddr_in local = SocketAddress(address, port);
  if (bind(Fd(sock), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return NetErrorCode(errno);
  return 0;
}

int NetBoundPort(NetSocket sock, uint16_t* port) {
  sockaddr_in local = {};
  socklen_t length = sizeof local;
  if (getsockname(Fd(sock), reinterpret_cast<sockaddr*>(&local), &length) != 0) return NetErrorCode(errno);
  *port = ntohs(local.sin_port);
  return 0;
}

int NetAskReceiveTimes(NetSocket sock) {
  const int on = 1;
  if (setsockopt(Fd(sock), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0) return NetErrorCode(errno);
  return 0;
}

int NetAskDestinations(NetSocket sock) {
  const int on = 1;
  if (setsockopt(Fd(sock), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) return NetErrorCode(errno);
  return 0;
}

// recvmsg writes into `buffer` through the iovec, out of clang-tidy's sight.
// NOLINTNEXTLINE(readability-non-const-parameter)
int NetReceiveWaiting(NetSocket sock, unsigned char* buffer, int length, NetDatagram* datagram) {
  sockaddr_in sender = {};
  iovec part = {buffer, static_cast<size_t>(length)};
  // Room for the time stamp the system adds (SO_TIMESTAMPNS), and the
  // destination (IP_PKTINFO).
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(timespec)) + CMSG_SPACE(sizeof(in_pktinfo))];
  msghdr message = {};
  message.msg_name = &sender;
  message.msg_namelen = sizeof sender;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t n = 0;
  do {
    n = recvmsg(Fd(sock), &message, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return NetErrorCode(errno);
  *datagram = NetDatagram{};
  datagram->received = static_cast<int>(n);
  datagram->truncated = (message.msg_flags & MSG_TRUNC) != 0;
  datagram->source_address = sender.sin_addr.s_addr;
  datagram->source_port = ntohs(sender.sin_port);
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
      timespec stamp = {};
      memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
      datagram->time_ns = static_cast<int64_t>(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
      datagram->kernel_time = true;
    } else if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
      in_pktinfo info = {};
      memcpy(&info, CMSG_DATA(c), sizeof info);
      datagram->destination_address = info.ipi_addr.s_addr;  // the header's, not the interface's
    }
  }
  if (!datagram->kernel_time) {
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    datagram->time_ns = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  }
  return 0;
}

int NetReceive(NetSocket sock, unsigned char* buffer, int length, int* received) {
  sockaddr_in sender = {};
  for (;;) {
    socklen_t sender_length = sizeof sender;
    const ssize_t n = recvfrom(Fd(sock), buffer, static_cast<size_t>(length), 0,
                               reinterpret_cast<sockaddr*>(&sender), &sender_length);
    if (n >= 0) {
      *received = static_cast<int>(n);
      return 0;
    }
    // A signal that interrupts the wait is no failure of the socket.
    if (errno != EINTR) return NetErrorCode(errno);
  }
}

int NetReadReceiveBuffer(NetSocket sock, int* bytes, int* as_asked) {
  socklen_t length = sizeof *bytes;
  if (getsockopt(Fd(sock), SOL_SOCKET, SO_RCVBUF, bytes, &length) != 0) return NetErrorCode(errno);
  // Linux grants twice what is asked for, half of it for its bookkeeping.
  *as_asked = *bytes / 2;
  return 0;
}

int NetReadDropCount(NetSocket sock, bool /*fresh*/, uint32_t* dropped, DropCountScope* scope) {
  // The socket's own count, kept by Linux since 4.12 for every datagram it
  // drops, at the moment of asking, for one system call (0.4 us): unlike
  // SO_RXQ_OVFL, which tells it only with the next datagram that does get
  // in, so that drops at the end of a burst would never be seen.
  uint32_t meminfo[SK_MEMINFO_VARS] = {};
  socklen_t length = sizeof meminfo;
  if (getsockopt(Fd(sock), SOL_SOCKET, SO_MEMINFO, meminfo, &length) != 0) return NetErrorCode(errno);
  if (length <= SK_MEMINFO_DROPS * sizeof meminfo[0]) return 10045;
  *dropped = meminfo[SK_MEMINFO_DROPS];
  *scope = kDropsOfThisSocket;
  return 0;
}

int NetResolveIpv4(const char* host, uint32_t* address) {
  // A dotted address needs no name service, which a statically linked
  // program can use only in part.
  in_addr dotted = {};
  if (inet_pton(AF_INET, host, &dotted) == 1) {
    *address = dotted.s_addr;
    return 0;
  }
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(host, nullptr, &hints, &found);
  if (status != 0) return ResolveErrorCode(status);
  sockaddr_in resolved = {};
  memcpy(&resolved, found->ai_addr, sizeof resolved);
  freeaddrinfo(found);
  *address = resolved.sin_addr.s_addr;
  return 0;
}

int NetSendTo(NetSocket sock, uint32_t address, uint16_t port, const unsigned char* bytes, size_t length) {
  const sockaddr_in to = SocketAddress(address, port);
  for (;;) {
    if (send_to_call(Fd(sock), bytes, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0) return 0;
    if (errno == EINTR) continue;
    // A full send queue on a busy host: wait for room rather than drop.
    if (errno == ENOBUFS || errno == EAGAIN) {
      const timespec pause = {0, 100000};
      nanosleep(&pause, nullptr);
      continue;
    }
    return NetErrorCode(errno);
  }
}
