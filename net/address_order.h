// IPv4 addresses between the network's byte order, as the socket layer
// takes them, and host order, as callers read them (127.0.0.1 is
// 0x7F000001), without the platform's headers.
#ifndef NET_ADDRESS_ORDER_H_
#define NET_ADDRESS_ORDER_H_

#include <cstdint>

inline uint32_t HostOrder(uint32_t network_order) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&network_order);
  return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 | static_cast<uint32_t>(b[2]) << 8 | b[3];
}

inline uint32_t NetworkOrder(uint32_t host_order) {
  uint32_t network_order = 0;
  unsigned char* b = reinterpret_cast<unsigned char*>(&network_order);
  b[0] = static_cast<unsigned char>(host_order >> 24);
  b[1] = static_cast<unsigned char>(host_order >> 16);
  b[2] = static_cast<unsigned char>(host_order >> 8);
  b[3] = static_cast<unsigned char>(host_order);
  return network_order;
}

#endif  // NET_ADDRESS_ORDER_H_
