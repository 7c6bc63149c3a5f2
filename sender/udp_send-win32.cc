// Sending datagrams on Windows Sockets 2.
#include "sender/udp_send.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>

bool OpenUdpTarget(UdpTarget* target, const char* host, uint16_t port, char* error, size_t error_size) {
  WSADATA data;
  int status = WSAStartup(MAKEWORD(2, 2), &data);
  if (status != 0) {
    char cause[256];
    DescribeSendError(status, cause, sizeof cause);
    snprintf(error, error_size, "cannot start Windows Sockets: %s", cause);
    return false;
  }
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  status = getaddrinfo(host, nullptr, &hints, &found);
  if (status != 0) {
    char cause[256];
    DescribeSendError(status, cause, sizeof cause);
    snprintf(error, error_size, "cannot resolve host '%s': %s", host, cause);
    WSACleanup();
    return false;
  }
  sockaddr_in resolved = {};
  memcpy(&resolved, found->ai_addr, sizeof resolved);
  freeaddrinfo(found);
  target->address = resolved.sin_addr.s_addr;
  target->port = port;

  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    char cause[256];
    DescribeSendError(WSAGetLastError(), cause, sizeof cause);
    snprintf(error, error_size, "cannot open a UDP socket: %s", cause);
    WSACleanup();
    return false;
  }
  target->sock = static_cast<std::uintptr_t>(s);
  return true;
}

int SendDatagram(const UdpTarget& target, const unsigned char* bytes, size_t length) {
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(target.port);
  to.sin_addr.s_addr = target.address;
  for (;;) {
    int sent = sendto(static_cast<SOCKET>(target.sock), reinterpret_cast<const char*>(bytes), static_cast<int>(length),
                      0, reinterpret_cast<const sockaddr*>(&to), static_cast<int>(sizeof to));
    if (sent != SOCKET_ERROR) return 0;
    const int error = WSAGetLastError();
    // A full send queue on a busy host: wait for room rather than drop.
    if (error == WSAENOBUFS || error == WSAEWOULDBLOCK) {
      Sleep(0);
      continue;
    }
    return error;
  }
}

void DescribeSendError(int code, char* text, size_t text_size) {
  char words[256] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, words, sizeof words, nullptr);
  // The system's text ends in a line end and often a full stop.
  while (n > 0 && (words[n - 1] == '\r' || words[n - 1] == '\n' || words[n - 1] == '.' || words[n - 1] == ' ')) {
    words[--n] = '\0';
  }
  if (n == 0) {
    snprintf(text, text_size, "error %d", code);
  } else {
    snprintf(text, text_size, "%s (%d)", words, code);
  }
}

void CloseUdpTarget(UdpTarget* target) {
  closesocket(static_cast<SOCKET>(target->sock));
  WSACleanup();
}
