// The UDP datagrams in a capture: from each packet's link layer to its IPv4
// header to its UDP payload, with datagrams that travelled as IP fragments
// put together again. Portable, with no capture library.
#ifndef CAPTURE_UDP_DATAGRAMS_H_
#define CAPTURE_UDP_DATAGRAMS_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "capture/capture_file.h"
#include "capture/capture_time.h"

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
  CaptureTime time;              // its last piece's, or the last known before it; unknown if none was
  const unsigned char* payload;  // valid until the next packet is taken
  size_t size;
  uint32_t source_address;       // IPv4, host order: 127.0.0.1 is 0x7F000001
  uint16_t source_port;
};

// What was not taken, and why.
struct DatagramTally {
  long taken;            // UDP payloads bound for the port
  long not_udp;          // packets that carry no UDP over IPv4 (ARP, TCP, IPv6, another link layer, ...)
  long other_port;       // UDP datagrams bound for another port
  long incomplete;       // datagrams some of whose IP fragments are not in the capture
  long cut_short;        // datagrams cut short by the capture's snap length
  long conflicting;      // datagrams whose IP fragments overlap with bytes that disagree
  uint16_t first_other_port;  // where the first datagram bound for another port went; 0: none
};

// IP datagrams whose fragments are being put together, at most: a scanner
// sends one datagram at a time, so only a few are ever pending at once.
// Beyond either bound the one pending longest is given up, and counted as
// incomplete.
const size_t kMostPendingDatagrams = 64;
const size_t kMostPendingBytes = size_t{2} * 1024 * 1024;

// The payloads of the UDP datagrams over IPv4 bound for one port, packet
// by packet, in the order in which their last piece was captured.
class UdpDatagramReader {
 public:
  explicit UdpDatagramReader(uint16_t port) : port_(port) {}

  // Takes the next packet of the capture. True, with `*datagram`, when it
  // completes a UDP datagram bound for the port.
  bool Take(const CapturedPacket& packet, CapturedDatagram* datagram);

  // The capture has ended: what never came whole is counted.
  void Finish();

  const DatagramTally& tally() const { return tally_; }
  // Fragments pending, and the bytes held for them.
  size_t pending() const { return pending_.size(); }
  size_t pending_bytes() const { return pending_bytes_; }

 private:
  // An IP datagram whose fragments are being put together.
  struct Reassembly {
    uint64_t age;                      // the order in which it was begun
    std::vector<unsigned char> bytes;  // its payload as far as received
    std::vector<bool> have;            // which of its bytes were received
    size_t received = 0;               // how many
    size_t total = 0;                  // its payload's length, once the last fragment came; else 0
    bool cut = false;                  // a fragment was cut short by the snap length
    bool conflict = false;             // fragments overlap, and their bytes there disagree
  };
  // Source, destination, identification: a fragment's datagram.
  typedef std::tuple<uint32_t, uint32_t, uint32_t> FragmentKey;

  bool TakeUdp(const unsigned char* ip_payload, size_t length, CapturedDatagram* datagram);
  bool TakeFragment(const unsigned char* header, size_t header_length, size_t total_length, size_t kept, bool cut,
                    CapturedDatagram* datagram);
  // Gives up pending datagrams, the oldest first, until `more` bytes and
  // one more datagram fit the bounds.
  void MakeRoom(size_t more, const FragmentKey& keep);
  void GiveUp(std::map<FragmentKey, Reassembly>::iterator pending);

  uint16_t port_;
  DatagramTally tally_ = {0, 0, 0, 0, 0, 0, 0};
  CaptureTime last_time_ = {false, 0, 0};
  std::map<FragmentKey, Reassembly> pending_;
  size_t pending_bytes_ = 0;
  uint64_t begun_ = 0;
  std::vector<unsigned char> whole_;  // the last datagram put together
};

#endif  // CAPTURE_UDP_DATAGRAMS_H_
