#include "sender/udp_send.h"

#include <cstdio>

bool OpenUdpTarget(UdpTarget* target, const char* host, uint16_t port, char* error, size_t error_size) {
  char cause[256];
  int code = NetStartup();
  if (code != 0) {
    NetDescribeError(code, cause, sizeof cause);
    snprintf(error, error_size, "cannot start the socket library: %s", cause);
    return false;
  }
  code = NetResolveIpv4(host, &target->address);
  if (code == 0) {
    code = NetOpenUdp(&target->sock);
    if (code == 0) {
      target->port = port;
      return true;
    }
    NetDescribeError(code, cause, sizeof cause);
    snprintf(error, error_size, "cannot open a UDP socket: %s", cause);
  } else {
    NetDescribeError(code, cause, sizeof cause);
    snprintf(error, error_size, "cannot resolve host '%s': %s", host, cause);
  }
  NetCleanup();
  return false;
}

int SendDatagram(const UdpTarget& target, const unsigned char* bytes, size_t length) {
  return NetSendTo(target.sock, target.address, target.port, bytes, length);
}

void CloseUdpTarget(UdpTarget* target) {
  NetClose(target->sock);
  NetCleanup();
}
