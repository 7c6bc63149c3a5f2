// The socket layer on Windows Sockets 2.
#include "receiver/socket.h"

#include <winsock2.h>

#include <cstdio>

#include "receiver/socket_error_words.h"

int NetErrorCode(int platform_error) { return platform_error; }

void NetDescribeError(int code, char* text, size_t text_size) {
  const char* words = SocketErrorWords(code);
  if (words != nullptr) {
    snprintf(text, text_size, "%s (%d)", words, code);
    return;
  }
  char system_words[256] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, system_words, sizeof system_words, nullptr);
  // The system's text ends in a full stop and a line end.
  while (n > 0 && (system_words[n - 1] == '\r' || system_words[n - 1] == '\n' || system_words[n - 1] == '.')) {
    system_words[--n] = '\0';
  }
  snprintf(text, text_size, "%s (%d)", n > 0 ? system_words : "unknown error", code);
}

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

int NetReceive(NetSocket sock, unsigned char* buffer, int length) {
  for (;;) {
    sockaddr_in sender = {};
    int sender_length = static_cast<int>(sizeof sender);
    int received = recvfrom(static_cast<SOCKET>(sock), reinterpret_cast<char*>(buffer), length, 0,
                            reinterpret_cast<sockaddr*>(&sender), &sender_length);
    if (received != SOCKET_ERROR) return received;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    // The wait for interrupts makes the socket non-blocking; should nothing
    // be there after all, wait for it here as a blocking socket would.
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(sock), &readable);
    if (select(0, &readable, nullptr, nullptr, nullptr) == SOCKET_ERROR) return -1;
  }
}

int NetLastError() { return WSAGetLastError(); }

void NetClose(NetSocket sock) { closesocket(static_cast<SOCKET>(sock)); }
