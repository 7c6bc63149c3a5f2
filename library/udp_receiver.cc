#include "library/udp_receiver.h"

#include <chrono>

#include "net/address_order.h"
#include "net/multicast.h"

namespace tgr {

namespace {

// What telegram-receiver asks for: room for some 128 of the largest
// telegrams while the reader is held up.
const int kDefaultBufferRequest = 8 * 1024 * 1024;

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int UdpReceiver::Fail(const std::string& doing, int code) {
  char words[256];
  NetDescribeSystemError(code, words, sizeof words);
  error_ = doing + ": " + words;
  os_error_ = NetSystemError(code);
  return TGR_E_SOCKET;
}

int UdpReceiver::Open(const std::string& address, uint16_t port, int buffer_bytes, const std::string& interface_name) {
  if (buffer_bytes < 0) {
    error_ = "a socket buffer of " + std::to_string(buffer_bytes) + " bytes: give 0 or more";
    return TGR_E_ARGUMENT;
  }
  std::string shown = address.empty() ? "every IPv4 address" : address;
  where_ = "UDP port " + std::to_string(port) + " on " + shown;
  int code = library_.Start();
  if (code != 0) return Fail("cannot start the socket library", code);
  uint32_t bind_address = 0;
  if (!address.empty() && (code = NetResolveIpv4(address.c_str(), &bind_address)) != 0) {
    return Fail("cannot find the address " + address, code);
  }
  multicast_ = IsMulticastGroup(HostOrder(bind_address));
  if (multicast_) {
    shown = "the multicast group " + address;
    where_ = "UDP port " + std::to_string(port) + " on " + shown;
  } else if (!interface_name.empty()) {
    error_ = "an interface (" + interface_name + ") is given only with a multicast group, and " + shown + " is none";
    return TGR_E_ARGUMENT;
  }
  if ((code = socket_.Open()) != 0) return Fail("cannot open a UDP socket", code);
  // The system may grant less than asked (Linux: net.core.rmem_max): no failure.
  (void)NetSetReceiveBuffer(socket_.handle(), buffer_bytes > 0 ? buffer_bytes : kDefaultBufferRequest);
  if (multicast_) {
    // A group's port is shared: every program that receives it gets each
    // datagram.
    if ((code = NetShareAddress(socket_.handle())) != 0) return Fail("cannot share " + where_, code);
    if ((code = NetBindGroup(socket_.handle(), bind_address, port)) != 0) return Fail("cannot open " + where_, code);
    if ((code = membership_.Join(socket_, bind_address, interface_name)) != 0) {
      return Fail("cannot join the multicast group " + address + " on " +
                      (interface_name.empty() ? std::string("the system's default interface")
                                              : "the interface " + interface_name),
                  code);
    }
  } else if ((code = NetBindAddress(socket_.handle(), bind_address, port)) != 0) {
    return Fail("cannot open " + where_, code);
  }
  if ((code = NetBoundPort(socket_.handle(), &port_)) != 0) return Fail("cannot read the port of " + where_, code);
  where_ = "UDP port " + std::to_string(port_) + " on " + shown;
  if ((code = NetAskReceiveTimes(socket_.handle())) != 0) return Fail("cannot ask for receive times", code);
  // Without it the destination is the address bound: no failure.
  (void)NetAskDestinations(socket_.handle());
  bound_address_ = bind_address;
  if ((code = wait_.Open(socket_.handle())) != 0) return Fail("cannot wait on " + where_, code);
  DropCountScope scope = kDropsOfThisSocket;
  counting_drops_ = NetReadDropCount(socket_.handle(), true, &drops_last_, &scope) == 0;
  return TGR_OK;
}

int UdpReceiver::Next(int timeout_ms, unsigned char* buffer, size_t capacity, tgr_datagram* datagram) {
  if (!socket_.is_open()) {
    error_ = "the receiver is not open";
    return TGR_E_ARGUMENT;
  }
  // No UDP datagram is longer than 65,535 bytes.
  const int length = capacity > 65535 ? 65535 : static_cast<int>(capacity);
  const int64_t deadline = timeout_ms >= 0 ? SteadyMs() + timeout_ms : 0;
  for (;;) {
    NetDatagram taken = {};
    const int code = NetReceiveWaiting(socket_.handle(), buffer, length, &taken);
    if (code == 0) {
      *datagram = tgr_datagram{};
      datagram->struct_size = sizeof(tgr_datagram);
      datagram->size = static_cast<size_t>(taken.received);
      datagram->truncated = taken.truncated ? 1 : 0;
      datagram->time_ns = taken.time_ns;
      datagram->kernel_time = taken.kernel_time ? 1 : 0;
      datagram->source_address = HostOrder(taken.source_address);
      datagram->source_port = taken.source_port;
      destination_ = HostOrder(taken.destination_address != 0 ? taken.destination_address : bound_address_);
      return TGR_OK;
    }
    if (code != 10035) return Fail("cannot receive on " + where_, code);
    int left = -1;
    if (timeout_ms >= 0) {
      const int64_t now = SteadyMs();
      left = deadline > now ? static_cast<int>(deadline - now) : 0;
    }
    SocketWaitResult result = kSocketTimedOut;
    const int waited = wait_.Wait(left, &result);
    if (waited != 0) return Fail("cannot wait on " + where_, waited);
    if (result == kSocketWaitCancelled) return TGR_E_CANCELLED;
    if (result == kSocketTimedOut) return TGR_E_TIMEOUT;
  }
}

int UdpReceiver::Drops(uint64_t* dropped, bool* system_wide) {
  if (!socket_.is_open()) {
    error_ = "the receiver is not open";
    return TGR_E_ARGUMENT;
  }
  uint32_t count = 0;
  DropCountScope scope = kDropsOfThisSocket;
  const int code = NetReadDropCount(socket_.handle(), true, &count, &scope);
  if (code != 0 || !counting_drops_) {
    error_ = "this system keeps no count of dropped datagrams";
    return TGR_E_UNSUPPORTED;
  }
  // The count wraps at 2^32: its rises are added up.
  drops_ += static_cast<uint32_t>(count - drops_last_);
  drops_last_ = count;
  *dropped = drops_;
  *system_wide = scope == kDropsOfTheSystem;
  return TGR_OK;
}

}  // namespace tgr
