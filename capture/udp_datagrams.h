// The UDP datagrams in a capture: from each packet's link layer to its IPv4
// header to its UDP payload, with datagrams that travelled as IP fragments
// put together again. Portable, with no capture library.
#ifndef CAPTURE_UDP_DATAGRAMS_H_
#define CAPTURE_UDP_DATAGRAMS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/capture_file.h"

// The link layers read: those that captures of a scanner's network hold.
const uint32_t kLinkNull = 0;          // BSD loopback: the address family in the capturer's byte order
const uint32_t kLinkEthernet = 1;      // with 802.1Q and 802.1ad VLAN tags
const uint32_t kLinkRaw = 101;         // IP alone
const uint32_t kLinkLoop = 108;        // OpenBSD loopback: the address family in network byte order
const uint32_t kLinkLinuxCooked = 113;
const uint32_t kLinkIpv4 = 228;
const uint32_t kLinkLinuxCooked2 = 276;

// One UDP payload, whole, and when its last piece was captured.
struct CapturedDatagram {
  int64_t time;  // nanoseconds, as the capture gives them, or kNoTime
  std::vector<unsigned char> payload;
};

// What was not taken, and why.
struct DatagramTally {
  long taken;            // UDP payloads bound for the port
  long not_udp;          // packets that carry no UDP over IPv4 (ARP, TCP, IPv6, another link layer, ...)
  long other_port;       // UDP datagrams bound for another port
  long incomplete;       // datagrams some of whose IP fragments are not in the capture
  long cut_short;        // datagrams cut short by the capture's snap length
};

// The payloads of the UDP datagrams over IPv4 bound for `port`, in the order
// in which their last piece was captured.
void ExtractUdpDatagrams(const std::vector<unsigned char>& file, const std::vector<CapturedPacket>& packets,
                         uint16_t port, std::vector<CapturedDatagram>* datagrams, DatagramTally* tally);

#endif  // CAPTURE_UDP_DATAGRAMS_H_
