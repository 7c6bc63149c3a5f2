#include "net/udp_target.h"

namespace {

std::string Described(int code) {
  char words[256];
  NetDescribeError(code, words, sizeof words);
  return words;
}

}  // namespace

bool UdpTarget::Open(const char* host, uint16_t port, std::string* err) {
  int code = library_.Start();
  if (code != 0) {
    *err = "cannot start the socket library: " + Described(code);
    return false;
  }
  code = NetResolveIpv4(host, &address_);
  if (code != 0) {
    *err = std::string("cannot resolve host '") + host + "': " + Described(code);
    return false;
  }
  code = socket_.Open();
  if (code != 0) {
    *err = "cannot open a UDP socket: " + Described(code);
    return false;
  }
  port_ = port;
  return true;
}

bool UdpTarget::Send(const unsigned char* bytes, size_t length, std::string* err) const {
  const int code = NetSendTo(socket_.handle(), address_, port_, bytes, length);
  if (code != 0) *err = Described(code);
  return code == 0;
}
