#include "net/udp_target.h"

#include "net/address_order.h"

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

const UdpSocket& UdpTarget::SocketOf(uint32_t sender_address, uint16_t sender_port) {
  for (const SenderSocket& known : senders_) {
    if (known.address == sender_address && known.port == sender_port) return known.socket;
  }
  if (senders_.size() >= kMostSenders) return socket_;
  SenderSocket made{sender_address, sender_port, UdpSocket()};
  if (made.socket.Open() != 0) return socket_;
  // A target on this computer: a loopback address of the sender's own.
  uint32_t local = 0;  // every address
  if ((HostOrder(address_) >> 24) == 127) {
    local = (127u << 24) | (sender_address & 0x00FFFFFF);
    if ((local & 0x00FFFFFF) == 0) local |= 1;  // 127.0.0.0 is no address to send from
  }
  // Its own port where it is free, else one the system chooses.
  if (NetBindAddress(made.socket.handle(), NetworkOrder(local), sender_port) != 0 &&
      NetBindAddress(made.socket.handle(), NetworkOrder(local), 0) != 0) {
    return socket_;
  }
  senders_.push_back(std::move(made));
  return senders_.back().socket;
}

bool UdpTarget::SendFrom(uint32_t sender_address, uint16_t sender_port, const unsigned char* bytes, size_t length,
                         std::string* err) {
  if (!apart_) return Send(bytes, length, err);
  const int code = NetSendTo(SocketOf(sender_address, sender_port).handle(), address_, port_, bytes, length);
  if (code != 0) *err = Described(code);
  return code == 0;
}
