// Which IPv4 addresses are multicast groups: 224.0.0.0 to 239.255.255.255.
#ifndef NET_MULTICAST_H_
#define NET_MULTICAST_H_

#include <cstdint>

// `address` in host byte order (127.0.0.1 is 0x7F000001).
inline bool IsMulticastGroup(uint32_t address) { return (address >> 28) == 0xE; }

#endif  // NET_MULTICAST_H_
