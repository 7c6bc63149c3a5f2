// The socket layer on POSIX sockets.
#include "net/socket.h"

#include <arpa/inet.h>
#include <net/if.h>
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

namespace {

// What Windows Sockets reports in the same situation as each errno value;
// the first line of a number is the errno value it stands for in turn.
struct WsaNumber {
  int error;
  int wsa;
};
const WsaNumber kWsaNumbers[] = {
    {EINTR, 10004},
    {EACCES, 10013},
    {EPERM, 10013},
    {EFAULT, 10014},
    {EINVAL, 10022},
    {EMFILE, 10024},
    {ENFILE, 10024},
    {EAGAIN, 10035},
    {EWOULDBLOCK, 10035},
    {EINPROGRESS, 10036},
    {EALREADY, 10037},
    {EBADF, 10038},
    {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},
    {ENOTSUP, 10045},
    {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},
    {ENETUNREACH, 10051},
    {ENETRESET, 10052},
    {ECONNABORTED, 10053},
    // A UDP receive after an ICMP "port unreachable" fails with
    // WSAECONNRESET on Windows, and with ECONNREFUSED here.
    {ECONNREFUSED, 10054},
    {ECONNRESET, 10054},
    {ENOBUFS, 10055},
    {ENOMEM, 10055},
    {EISCONN, 10056},
    {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},
    {ELOOP, 10062},
    {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
    {ENOTEMPTY, 10066},
    {EUSERS, 10068},
    {EDQUOT, 10069},
    {ESTALE, 10070},
    {EREMOTE, 10071},
};

}  // namespace

int NetErrorCode(int platform_error) {
  for (const WsaNumber& n : kWsaNumbers) {
    if (n.error == platform_error) return n.wsa;
  }
  return platform_error;
}

int NetSystemError(int code) {
  for (const WsaNumber& n : kWsaNumbers) {
    if (n.wsa == code) return n.error;
  }
  // A code with no Windows Sockets number is an errno value already; the
  // resolver's numbers (11001, ...) have none.
  return code < 10000 ? code : 0;
}

void NetDescribeError(int code, char* text, size_t text_size) {
  const char* words = SocketErrorWords(code);
  // A code with no Windows Sockets number is an errno value.
  snprintf(text, text_size, "%s (%d)", words != nullptr ? words : strerror(code), code);
}

void NetDescribeSystemError(int code, char* text, size_t text_size) {
  const int error = NetSystemError(code);
  const char* words = SocketErrorWords(code);
  snprintf(text, text_size, "%s", error != 0 ? strerror(error) : words != nullptr ? words : "unknown error");
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

int NetShareAddress(NetSocket sock) {
  const int on = 1;
  if (setsockopt(Fd(sock), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return NetErrorCode(errno);
  return 0;
}

int NetBindGroup(NetSocket sock, uint32_t group, uint16_t port) { return NetBindAddress(sock, group, port); }

namespace {

// A membership of `group` on the interface named: an address, a name, or
// "" for the system's choice.
int GroupRequest(uint32_t group, const char* interface_name, ip_mreqn* request) {
  *request = ip_mreqn{};
  request->imr_multiaddr.s_addr = group;
  if (interface_name == nullptr || *interface_name == '\0') return 0;
  if (inet_pton(AF_INET, interface_name, &request->imr_address) == 1) return 0;
  const unsigned index = if_nametoindex(interface_name);
  if (index == 0) return ENODEV;
  request->imr_ifindex = static_cast<int>(index);
  return 0;
}

int ChangeMembership(NetSocket sock, int option, uint32_t group, const char* interface_name) {
  ip_mreqn request;
  const int refused = GroupRequest(group, interface_name, &request);
  if (refused != 0) return NetErrorCode(refused);
  if (setsockopt(Fd(sock), IPPROTO_IP, option, &request, sizeof request) != 0) return NetErrorCode(errno);
  return 0;
}

}  // namespace

int NetJoinGroup(NetSocket sock, uint32_t group, const char* interface_name) {
  return ChangeMembership(sock, IP_ADD_MEMBERSHIP, group, interface_name);
}

int NetLeaveGroup(NetSocket sock, uint32_t group, const char* interface_name) {
  return ChangeMembership(sock, IP_DROP_MEMBERSHIP, group, interface_name);
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
