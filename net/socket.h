// The UDP socket operations both programs need, one implementation per
// platform (socket-win32.cc: Windows Sockets 2; socket-posix.cc: POSIX
// sockets). The build picks one; nothing else knows the platform.
//
// Every operation returns 0 or an error code, and hands its results out
// through its parameters. Error codes are Windows Sockets numbers on every
// platform (10048 for an address in use, ...), so that a report means the
// same wherever it was made.
#ifndef NET_SOCKET_H_
#define NET_SOCKET_H_

#include <cstddef>
#include <cstdint>

// Wide enough for a Windows SOCKET and a POSIX file descriptor.
typedef std::uintptr_t NetSocket;

// Starts the socket library (Windows Sockets 2.2).
int NetStartup();
// Stops the socket library; once for each successful NetStartup.
void NetCleanup();

// Opens an IPv4 UDP socket.
int NetOpenUdp(NetSocket* sock);
void NetClose(NetSocket sock);

// Asks for a socket receive buffer of `bytes`. The system may grant less
// (Linux caps it at net.core.rmem_max); that is no error.
int NetSetReceiveBuffer(NetSocket sock, int bytes);
// Binds to `port` on every local IPv4 address.
int NetBindAnyAddress(NetSocket sock, uint16_t port);
// Binds to `port` on the local IPv4 `address` (network byte order; 0 for
// every local address).
int NetBindAddress(NetSocket sock, uint32_t address, uint16_t port);
// Multicast. A group is an IPv4 address from 224.0.0.0 to 239.255.255.255
// (net/multicast.h tells one).
//
// Lets other sockets bind the same address and port (SO_REUSEADDR), each
// of which then gets its own copy of every datagram sent to a group: so
// several programs on one computer receive one group at once. Asked only
// for a group: a unicast port stays one program's.
int NetShareAddress(NetSocket sock);
// Binds to `port` for the datagrams sent to `group` (network byte order):
// on Linux the group itself, so that other groups' datagrams to the port
// are not taken; on Windows, which cannot bind a group, every address.
int NetBindGroup(NetSocket sock, uint32_t group, uint16_t port);
// Joins `group` on the interface `interface_name` names: its IPv4 address,
// or on Linux its name ("eth0"); "" lets the system choose (the route to
// the group). An unknown name is ENODEV's code.
int NetJoinGroup(NetSocket sock, uint32_t group, const char* interface_name);
// Leaves a group joined with the same arguments.
int NetLeaveGroup(NetSocket sock, uint32_t group, const char* interface_name);
// The local port a bound socket has (the one the system chose for port 0).
int NetBoundPort(NetSocket sock, uint16_t* port);
// Receives one datagram into `buffer`, waiting as long as it takes; its
// length (0 is a valid length) goes to `*received`.
int NetReceive(NetSocket sock, unsigned char* buffer, int length, int* received);

// One datagram taken with NetReceiveWaiting, and where and when it came from.
struct NetDatagram {
  int received;             // bytes put in the buffer
  bool truncated;           // the datagram was longer than the buffer
  uint32_t source_address;  // IPv4, network byte order
  uint16_t source_port;
  int64_t time_ns;          // when it arrived: ns since 1970-01-01 UTC
  bool kernel_time;         // the system stamped it on arrival (else: read on taking it)
  uint32_t destination_address;  // IPv4, network byte order, from its header; 0 where the system does not say
};
// Asks the system to stamp each datagram with the time it arrives, where it
// does so; on other systems nothing is asked, and that is no error.
int NetAskReceiveTimes(NetSocket sock);
// Asks the system to say each datagram's destination address (IP_PKTINFO),
// where it does so; on other systems nothing is asked, and that is no error.
int NetAskDestinations(NetSocket sock);
// Takes one datagram that is already waiting, without waiting for one:
// 0, or 10035 (would block) if none is there, or the error code.
int NetReceiveWaiting(NetSocket sock, unsigned char* buffer, int length, NetDatagram* datagram);

// The size of the socket's receive buffer as the system reports it, in
// `*bytes`, and in `*as_asked` as NetSetReceiveBuffer's `bytes` would have
// asked for it (Linux doubles what it grants, to pay for its bookkeeping).
int NetReadReceiveBuffer(NetSocket sock, int* bytes, int* as_asked);

// Whose datagrams a drop count counts.
enum DropCountScope {
  kDropsOfThisSocket,  // those this socket had no room for (Linux)
  kDropsOfTheSystem,   // every UDP datagram the system received but could not deliver, whatever its port (Windows)
};

// A running count of received datagrams that were dropped, in `*dropped`
// (it wraps at 2^32: take differences), and in `*scope` whose they are.
// Unless `fresh`, a platform where a look is dear may answer from one up
// to 0.1 s old. Where the system keeps no such count, an error code.
int NetReadDropCount(NetSocket sock, bool fresh, uint32_t* dropped, DropCountScope* scope);

// The IPv4 address of `host`, a dotted address or a name, in network byte
// order.
int NetResolveIpv4(const char* host, uint32_t* address);
// Sends one datagram to `address` (network byte order) and `port`, waiting
// for room in a full send queue rather than dropping it.
int NetSendTo(NetSocket sock, uint32_t address, uint16_t port, const unsigned char* bytes, size_t length);

// The Windows Sockets number of one of the platform's own error codes (an
// errno value on POSIX); a code with no such number is returned as it is.
int NetErrorCode(int platform_error);

// Words for an error code, followed by the code: "address already in use
// (10048)".
void NetDescribeError(int code, char* text, size_t text_size);

// The system's own number for an error code, as its users know it: the
// errno value on POSIX (EADDRINUSE for 10048; 0 for a code with none, such
// as a name the resolver does not know), the code itself on Windows.
int NetSystemError(int code);

// Words for an error code as this system says it, for a library's callers:
// the system's own words on POSIX ("Address already in use"), those of
// NetDescribeError on Windows, whose users know the Windows Sockets numbers.
void NetDescribeSystemError(int code, char* text, size_t text_size);

#endif  // NET_SOCKET_H_
