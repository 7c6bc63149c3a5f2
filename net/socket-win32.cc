// The socket layer on Windows Sockets 2.
#include "net/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <mswsock.h>

#include <cstdio>
#include <cstring>

#include "net/socket_error_words.h"

namespace {

SOCKET Handle(NetSocket sock) { return static_cast<SOCKET>(sock); }

// The one place an IPv4 socket address is laid out.
sockaddr_in SocketAddress(uint32_t address, uint16_t port) {
  sockaddr_in at = {};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  at.sin_addr.s_addr = address;
  return at;
}

}  // namespace

int NetErrorCode(int platform_error) {
  // Windows Sockets numbers pass as they are; so do the few system error
  // codes that Windows Sockets itself reports (WSA_INVALID_HANDLE is
  // ERROR_INVALID_HANDLE, and so on).
  if (platform_error >= WSABASEERR) return platform_error;
  switch (platform_error) {
    case WSA_INVALID_HANDLE:
    case WSA_NOT_ENOUGH_MEMORY:
    case WSA_INVALID_PARAMETER:
    case WSA_OPERATION_ABORTED:
    case WSA_IO_INCOMPLETE:
    case WSA_IO_PENDING: return platform_error;
    case ERROR_OUTOFMEMORY: return WSA_NOT_ENOUGH_MEMORY;
    case ERROR_NOT_SUPPORTED:
    case ERROR_CALL_NOT_IMPLEMENTED: return WSAEOPNOTSUPP;
    // Any other failure of a system call under the socket layer.
    default: return WSASYSCALLFAILURE;
  }
}

void NetDescribeError(int code, char* text, size_t text_size) {
  const char* words = SocketErrorWords(code);
  if (words != nullptr) {
    snprintf(text, text_size, "%s (%d)", words, code);
    return;
  }
  char system_words[256] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, system_words, sizeof system_words, nullptr);
  // The system's text ends in a line end and often a full stop.
  while (n > 0 && (system_words[n - 1] == '\r' || system_words[n - 1] == '\n' || system_words[n - 1] == '.' ||
                   system_words[n - 1] == ' ')) {
    system_words[--n] = '\0';
  }
  snprintf(text, text_size, "%s (%d)", n > 0 ? system_words : "unknown error", code);
}

int NetSystemError(int code) { return code; }

void NetDescribeSystemError(int code, char* text, size_t text_size) { NetDescribeError(code, text, text_size); }

int NetStartup() {
  WSADATA data;
  // WSAStartup returns its error code; WSAGetLastError is not usable yet.
  return WSAStartup(MAKEWORD(2, 2), &data);
}

void NetCleanup() { WSACleanup(); }

int NetOpenUdp(NetSocket* sock) {
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return WSAGetLastError();
  *sock = static_cast<NetSocket>(s);
  return 0;
}

void NetClose(NetSocket sock) { closesocket(Handle(sock)); }

int NetSetReceiveBuffer(NetSocket sock, int bytes) {
  if (setsockopt(Handle(sock), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                 static_cast<int>(sizeof bytes)) == SOCKET_ERROR) {
    return WSAGetLastError();
  }
  return 0;
}

int NetBindAnyAddress(NetSocket sock, uint16_t port) { return NetBindAddress(sock, htonl(INADDR_ANY), port); }

int NetBindAddress(NetSocket sock, uint32_t address, uint16_t port) {
  const sockaddr_in local = SocketAddress(address, port);
  if (bind(Handle(sock), reinterpret_cast<const sockaddr*>(&local), static_cast<int>(sizeof local)) == SOCKET_ERROR) {
    return WSAGetLastError();
  }
  return 0;
}

int NetShareAddress(NetSocket sock) {
  const BOOL on = TRUE;
  if (setsockopt(Handle(sock), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) ==
      SOCKET_ERROR) {
    return WSAGetLastError();
  }
  return 0;
}

int NetBindGroup(NetSocket sock, uint32_t /*group*/, uint16_t port) {
  return NetBindAddress(sock, htonl(INADDR_ANY), port);
}

namespace {

// A membership of `group` on the interface whose address is given, or ""
// for the system's choice. Windows names its interfaces otherwise: an
// address is asked for.
int ChangeMembership(NetSocket sock, int option, uint32_t group, const char* interface_name) {
  ip_mreq request = {};
  request.imr_multiaddr.s_addr = group;
  request.imr_interface.s_addr = htonl(INADDR_ANY);
  if (interface_name != nullptr && *interface_name != '\0' &&
      inet_pton(AF_INET, interface_name, &request.imr_interface) != 1) {
    return WSAEINVAL;
  }
  if (setsockopt(Handle(sock), IPPROTO_IP, option, reinterpret_cast<const char*>(&request), sizeof request) ==
      SOCKET_ERROR) {
    return WSAGetLastError();
  }
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
  int length = static_cast<int>(sizeof local);
  if (getsockname(Handle(sock), reinterpret_cast<sockaddr*>(&local), &length) == SOCKET_ERROR) {
    return WSAGetLastError();
  }
  *port = ntohs(local.sin_port);
  return 0;
}

// Windows stamps datagrams only on some newer systems and adapters; the time
// is read as each is taken.
int NetAskReceiveTimes(NetSocket /*sock*/) { return 0; }

int NetAskDestinations(NetSocket sock) {
  const DWORD on = 1;
  if (setsockopt(Handle(sock), IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&on), sizeof on) ==
      SOCKET_ERROR) {
    return WSAGetLastError();
  }
  return 0;
}

namespace {

// The wall clock in ns since 1970: the precise clock where the system has
// it (Windows 8 and later), else the one that ticks in milliseconds.
int64_t WallClockNs() {
  typedef VOID(WINAPI * PreciseClock)(LPFILETIME);
  static const PreciseClock precise = reinterpret_cast<PreciseClock>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
  FILETIME now = {};
  if (precise != nullptr) {
    precise(&now);
  } else {
    GetSystemTimeAsFileTime(&now);
  }
  const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  // 100 ns ticks since 1601-01-01; 1970 is 11,644,473,600 s later.
  return static_cast<int64_t>(ticks - 116444736000000000ULL) * 100;
}

}  // namespace

namespace {

// WSARecvMsg, which says a datagram's destination, is had through a
// socket; NULL where the system has none. The same for every UDP socket,
// so it is asked for once.
LPFN_WSARECVMSG AskRecvMsg(SOCKET sock) {
  GUID id = WSAID_WSARECVMSG;
  LPFN_WSARECVMSG function = nullptr;
  DWORD size = 0;
  if (WSAIoctl(sock, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &function, sizeof function, &size, nullptr,
               nullptr) == SOCKET_ERROR) {
    return nullptr;
  }
  return function;
}

LPFN_WSARECVMSG RecvMsgOf(SOCKET sock) {
  static const LPFN_WSARECVMSG function = AskRecvMsg(sock);
  return function;
}

// One datagram with WSARecvMsg: its destination too. Its length, or
// SOCKET_ERROR; `*truncated` if it was longer than the buffer.
int ReceiveWithDestination(LPFN_WSARECVMSG recv_msg, SOCKET sock, unsigned char* buffer, int length,
                           sockaddr_in* sender, uint32_t* destination, bool* truncated) {
  WSABUF part = {static_cast<ULONG>(length), reinterpret_cast<char*>(buffer)};
  alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
  WSAMSG message = {};
  message.name = reinterpret_cast<sockaddr*>(sender);
  message.namelen = static_cast<INT>(sizeof *sender);
  message.lpBuffers = &part;
  message.dwBufferCount = 1;
  message.Control = {static_cast<ULONG>(sizeof control), control};
  DWORD received = 0;
  if (recv_msg(sock, &message, &received, nullptr, nullptr) == SOCKET_ERROR) {
    if (WSAGetLastError() != WSAEMSGSIZE) return SOCKET_ERROR;
    *truncated = true;
    received = static_cast<DWORD>(length);
  }
  if ((message.dwFlags & MSG_TRUNC) != 0) *truncated = true;
  for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message); c != nullptr; c = WSA_CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
      IN_PKTINFO info = {};
      memcpy(&info, WSA_CMSG_DATA(c), sizeof info);
      *destination = info.ipi_addr.s_addr;
    }
  }
  return static_cast<int>(received);
}

}  // namespace

int NetReceiveWaiting(NetSocket sock, unsigned char* buffer, int length, NetDatagram* datagram) {
  // A look first: a socket whose wait has not chosen its events yet still
  // blocks.
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Handle(sock), &readable);
  timeval now = {0, 0};
  const int ready = select(0, &readable, nullptr, nullptr, &now);
  if (ready == SOCKET_ERROR) return WSAGetLastError();
  if (ready == 0) return WSAEWOULDBLOCK;
  sockaddr_in sender = {};
  bool truncated = false;
  uint32_t destination = 0;
  int n = SOCKET_ERROR;
  if (const LPFN_WSARECVMSG recv_msg = RecvMsgOf(Handle(sock))) {
    n = ReceiveWithDestination(recv_msg, Handle(sock), buffer, length, &sender, &destination, &truncated);
    if (n == SOCKET_ERROR) return WSAGetLastError();
  } else {
    int sender_length = static_cast<int>(sizeof sender);
    n = recvfrom(Handle(sock), reinterpret_cast<char*>(buffer), length, 0, reinterpret_cast<sockaddr*>(&sender),
                 &sender_length);
    if (n == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      // A datagram longer than the buffer: its first bytes are there.
      if (error != WSAEMSGSIZE) return error;
      truncated = true;
      n = length;
    }
  }
  *datagram = NetDatagram{};
  datagram->received = n;
  datagram->truncated = truncated;
  datagram->source_address = sender.sin_addr.s_addr;
  datagram->source_port = ntohs(sender.sin_port);
  datagram->time_ns = WallClockNs();
  datagram->destination_address = destination;
  return 0;
}

int NetReceive(NetSocket sock, unsigned char* buffer, int length, int* received) {
  for (;;) {
    sockaddr_in sender = {};
    int sender_length = static_cast<int>(sizeof sender);
    const int n = recvfrom(Handle(sock), reinterpret_cast<char*>(buffer), length, 0,
                           reinterpret_cast<sockaddr*>(&sender), &sender_length);
    if (n != SOCKET_ERROR) {
      *received = n;
      return 0;
    }
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) return error;
    // The wait for interrupts makes the socket non-blocking; should nothing
    // be there after all, wait for it here as a blocking socket would.
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Handle(sock), &readable);
    if (select(0, &readable, nullptr, nullptr, nullptr) == SOCKET_ERROR) return WSAGetLastError();
  }
}

int NetReadReceiveBuffer(NetSocket sock, int* bytes, int* as_asked) {
  int length = static_cast<int>(sizeof *bytes);
  if (getsockopt(Handle(sock), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(bytes), &length) == SOCKET_ERROR) {
    return WSAGetLastError();
  }
  *as_asked = *bytes;
  return 0;
}

int NetReadDropCount(NetSocket /*sock*/, bool fresh, uint32_t* dropped, DropCountScope* scope) {
  // Windows counts no drops per socket. The IP Helper's UDP statistics, part
  // of every Windows, count the datagrams the system received but could not
  // deliver for any reason but a closed port: a full receive buffer among
  // them, for every program at once. They cost far more than a socket
  // option (600 us a call under Wine), so a look that need not be fresh is
  // answered from one taken at most 100 ms before.
  static bool looked = false;
  static DWORD looked_at = 0;
  static uint32_t count = 0;
  const DWORD now = GetTickCount();
  if (fresh || !looked || now - looked_at >= 100) {
    MIB_UDPSTATS statistics = {};
    const DWORD error = GetUdpStatistics(&statistics);
    if (error != NO_ERROR) return NetErrorCode(static_cast<int>(error));
    count = statistics.dwInErrors;
    looked = true;
    looked_at = now;
  }
  *dropped = count;
  *scope = kDropsOfTheSystem;
  return 0;
}

int NetResolveIpv4(const char* host, uint32_t* address) {
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  // getaddrinfo returns a Windows Sockets number.
  const int status = getaddrinfo(host, nullptr, &hints, &found);
  if (status != 0) return status;
  sockaddr_in resolved = {};
  memcpy(&resolved, found->ai_addr, sizeof resolved);
  freeaddrinfo(found);
  *address = resolved.sin_addr.s_addr;
  return 0;
}

int NetSendTo(NetSocket sock, uint32_t address, uint16_t port, const unsigned char* bytes, size_t length) {
  const sockaddr_in to = SocketAddress(address, port);
  for (;;) {
    if (sendto(Handle(sock), reinterpret_cast<const char*>(bytes), static_cast<int>(length), 0,
               reinterpret_cast<const sockaddr*>(&to), static_cast<int>(sizeof to)) != SOCKET_ERROR) {
      return 0;
    }
    const int error = WSAGetLastError();
    // A full send queue on a busy host: wait for room rather than drop.
    if (error != WSAENOBUFS && error != WSAEWOULDBLOCK) return error;
    Sleep(0);
  }
}
