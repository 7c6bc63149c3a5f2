// The socket layer on Windows Sockets 2.
#include "receiver/socket.h"

#include <winsock2.h>

int NetStartup() {
  WSADATA data;
  // WSAStartup returns its error code; WSAGetLastError is not usable yet.
  return WSAStartup(MAKEWORD(2, 2), &data);
}

void NetCleanup() { WSACleanup(); }

int NetOpenUdp(NetSocket* sock) {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return WSAGetLastError();
  *sock = static_cast<NetSocket>(s);
  return 0;
}

int NetSetReceiveBuffer(NetSocket sock, int bytes) {
  if (setsockopt(static_cast<SOCKET>(sock), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                 static_cast<int>(sizeof bytes)) == SOCKET_ERROR) {
    return WSAGetLastError();
  }
  return 0;
}

int NetBindAnyAddress(NetSocket sock, uint16_t port) {
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(static_cast<SOCKET>(sock), reinterpret_cast<sockaddr*>(&local), static_cast<int>(sizeof local)) == SOCKET_ERROR) {
    return WSAGetLastError();
  }
  return 0;
}

int NetDatagramWaiting(NetSocket sock) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(static_cast<SOCKET>(sock), &readable);
  timeval no_wait = {0, 0};
  int ready = select(0, &readable, nullptr, nullptr, &no_wait);
  if (ready == SOCKET_ERROR) return -1;
  return ready > 0 ? 1 : 0;
}

int NetReceive(NetSocket sock, unsigned char* buffer, int length) {
  sockaddr_in sender = {};
  int sender_length = static_cast<int>(sizeof sender);
  int received = recvfrom(static_cast<SOCKET>(sock), reinterpret_cast<char*>(buffer), length, 0,
                          reinterpret_cast<sockaddr*>(&sender), &sender_length);
  return received == SOCKET_ERROR ? -1 : received;
}

int NetLastError() { return WSAGetLastError(); }

void NetClose(NetSocket sock) { closesocket(static_cast<SOCKET>(sock)); }
