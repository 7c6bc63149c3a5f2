// Seams of the POSIX socket layer for its tests: the sendto call it makes,
// to be scripted, and the numbers it gives getaddrinfo's failures.
#ifndef NET_SOCKET_POSIX_TESTING_H_
#define NET_SOCKET_POSIX_TESTING_H_

#include <sys/socket.h>
#include <sys/types.h>

// The call NetSendTo makes; sendto unless a test sets another (nullptr
// sets sendto back).
using SendToCall = ssize_t (*)(int, const void*, size_t, int, const sockaddr*, socklen_t);
void SetSendToCallForTesting(SendToCall call);

// What Windows Sockets reports for a getaddrinfo status.
int ResolveErrorCode(int status);

#endif  // NET_SOCKET_POSIX_TESTING_H_
