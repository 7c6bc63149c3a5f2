// The socket operations the receive loop needs, one implementation per
// platform (socket-win32.cc: Windows Sockets 2; socket-posix.cc: POSIX).
// The build picks one; nothing else in the program knows the platform.
//
// Error codes are Windows Sockets numbers on every platform (10048 for an
// address in use, ...), so that a report means the same wherever it was made.
#ifndef RECEIVER_SOCKET_H_
#define RECEIVER_SOCKET_H_

#include <cstddef>
#include <cstdint>

// Wide enough for a Windows SOCKET and a POSIX file descriptor.
typedef std::uintptr_t NetSocket;

// Starts the socket library (Windows Sockets 2.2). 0, or the error code.
int NetStartup();
// Stops the socket library; only after a successful NetStartup.
void NetCleanup();

// Opens an IPv4 UDP socket. 0, or the error code.
int NetOpenUdp(NetSocket* sock);
// Asks for a socket receive buffer of `bytes`. 0, or the error code. The
// system may grant less (Linux caps it at net.core.rmem_max); that is no error.
int NetSetReceiveBuffer(NetSocket sock, int bytes);
// Binds to `port` on every local IPv4 address. 0, or the error code.
int NetBindAnyAddress(NetSocket sock, uint16_t port);

// Receives one datagram into `buffer`, waiting as long as it takes. The
// datagram's length (0 is a valid length), or -1; NetLastError() then says why.
int NetReceive(NetSocket sock, unsigned char* buffer, int length);
// The error code of the last failed receive.
int NetLastError();

void NetClose(NetSocket sock);

// The Windows Sockets number of one of the platform's own error codes (an
// errno value on POSIX); a code with no such number is returned as it is.
int NetErrorCode(int platform_error);

// Words for an error code, followed by the code: "address already in use
// (10048)".
void NetDescribeError(int code, char* text, size_t text_size);

#endif  // RECEIVER_SOCKET_H_
