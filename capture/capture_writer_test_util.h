// Capture files made in memory, for the tests of reading and replaying them:
// pcap and pcapng in either byte order, and UDP datagrams over IPv4 as the
// link layers carry them, cut into IP fragments where asked.
#ifndef CAPTURE_CAPTURE_WRITER_TEST_UTIL_H_
#define CAPTURE_CAPTURE_WRITER_TEST_UTIL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

struct TestPacket {
  int64_t time;                // nanoseconds
  Bytes bytes;                 // as captured
  size_t original_length = 0;  // on the wire, if more than captured
  // Where not 0, the timestamp as written, whatever `time` says: pcap's
  // seconds in the high 32 bits and their fraction in the low ones, or
  // pcapng's 64-bit count of its units.
  uint64_t stamp = 0;
};

// A pcap file: microsecond or nanosecond timestamps, either byte order.
Bytes WritePcap(const std::vector<TestPacket>& packets, uint32_t link_type, bool big_endian, bool nanoseconds);

// How a pcapng file is laid out.
struct PcapngLayout {
  bool big_endian = false;
  int resolution = 6;            // if_tsresol: 10^-n s, or with 0x80 set, 2^-n s
  bool resolution_given = true;  // without it, microseconds are meant
  bool name_first = false;       // if_name "lo" (2 bytes and their padding) before if_tsresol, as dumpcap writes it
  bool simple = false;           // simple packet blocks, which have no timestamp
  bool second_section = false;   // the packets from the second on in a section of their own
};

// A pcapng file with one interface (per section) and the packets.
Bytes WritePcapng(const std::vector<TestPacket>& packets, uint32_t link_type, const PcapngLayout& layout);
Bytes WritePcapng(const std::vector<TestPacket>& packets, uint32_t link_type, bool big_endian, int decimals);

// The IPv4 packets of a UDP datagram from 192.0.2.1 to 192.0.2.2:`port`
// with `payload`: one, or IP fragments of at most `mtu` bytes each. With
// `options`, the header carries that many bytes of IP options (IHL above 5).
std::vector<Bytes> UdpOverIpv4(const Bytes& payload, uint16_t port, uint16_t id, size_t mtu = 65535,
                               size_t options = 0);

// An IP packet behind an Ethernet header (with an 802.1Q tag unless `vlan`
// is 0), a Linux cooked header (`version` 1 or 2), or a loopback header.
Bytes WithEthernet(const Bytes& ip, uint16_t vlan = 0);
Bytes WithLinuxCooked(const Bytes& ip, int version);
Bytes WithLoopback(const Bytes& ip, bool big_endian);

bool WriteBytesToFile(const std::string& path, const Bytes& bytes);

#endif  // CAPTURE_CAPTURE_WRITER_TEST_UTIL_H_
