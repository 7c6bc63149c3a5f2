#include "capture/capture_writer_test_util.h"

#include <cstdio>

namespace {

void Put(Bytes* out, uint64_t value, int width, bool big_endian) {
  for (int i = 0; i < width; ++i) {
    const int shift = 8 * (big_endian ? width - 1 - i : i);
    out->push_back(static_cast<unsigned char>(value >> shift));
  }
}

void PutBig(Bytes* out, uint64_t value, int width) { Put(out, value, width, true); }

void Pad4(Bytes* out) {
  while (out->size() % 4 != 0) out->push_back(0);
}

// A pcapng block: type, length, body, length.
void Block(Bytes* out, uint32_t type, const Bytes& body, bool big_endian) {
  const size_t length = 12 + ((body.size() + 3) & ~static_cast<size_t>(3));
  Put(out, type, 4, big_endian);
  Put(out, length, 4, big_endian);
  out->insert(out->end(), body.begin(), body.end());
  Pad4(out);
  Put(out, length, 4, big_endian);
}

}  // namespace

Bytes WritePcap(const std::vector<TestPacket>& packets, uint32_t link_type, bool big_endian, bool nanoseconds) {
  Bytes out;
  Put(&out, nanoseconds ? 0xA1B23C4D : 0xA1B2C3D4, 4, big_endian);
  Put(&out, 2, 2, big_endian);
  Put(&out, 4, 2, big_endian);
  Put(&out, 0, 4, big_endian);
  Put(&out, 0, 4, big_endian);
  Put(&out, 262144, 4, big_endian);
  Put(&out, link_type, 4, big_endian);
  for (const TestPacket& packet : packets) {
    const int64_t unit = nanoseconds ? 1 : 1000;
    const uint64_t seconds = packet.stamp != 0 ? packet.stamp >> 32 : static_cast<uint64_t>(packet.time / 1000000000);
    const uint64_t fraction =
        packet.stamp != 0 ? packet.stamp & 0xFFFFFFFFu : static_cast<uint64_t>(packet.time % 1000000000 / unit);
    Put(&out, seconds, 4, big_endian);
    Put(&out, fraction, 4, big_endian);
    Put(&out, packet.bytes.size(), 4, big_endian);
    Put(&out, packet.original_length != 0 ? packet.original_length : packet.bytes.size(), 4, big_endian);
    out.insert(out.end(), packet.bytes.begin(), packet.bytes.end());
  }
  return out;
}

namespace {

void Section(Bytes* out, uint32_t link_type, const PcapngLayout& layout) {
  const bool big = layout.big_endian;
  Bytes section;
  Put(&section, 0x1A2B3C4D, 4, big);
  Put(&section, 1, 2, big);
  Put(&section, 0, 2, big);
  Put(&section, 0xFFFFFFFFFFFFFFFFu, 8, big);
  Block(out, 0x0A0D0D0A, section, big);
  Bytes interface;
  Put(&interface, link_type, 2, big);
  Put(&interface, 0, 2, big);
  Put(&interface, 0, 4, big);
  if (layout.name_first) {
    Put(&interface, 2, 2, big);  // if_name
    Put(&interface, 2, 2, big);
    interface.push_back('l');
    interface.push_back('o');
    Pad4(&interface);
  }
  if (layout.resolution_given) {
    Put(&interface, 9, 2, big);  // if_tsresol
    Put(&interface, 1, 2, big);
    interface.push_back(static_cast<unsigned char>(layout.resolution));
    Pad4(&interface);
  }
  Put(&interface, 0, 4, big);  // the end of the options
  Block(out, 1, interface, big);
  // A block the reader passes over: interface statistics.
  Bytes statistics;
  Put(&statistics, 0, 4, big);
  Put(&statistics, 0, 8, big);
  Block(out, 5, statistics, big);
}

// A time in nanoseconds as a count of the interface's units.
uint64_t Ticks(int64_t time, int resolution, bool given) {
  if (!given) resolution = 6;
  if ((resolution & 0x80) != 0) {
    const int bits = resolution & 0x7F;
    const uint64_t seconds = static_cast<uint64_t>(time / 1000000000);
    const uint64_t nanoseconds = static_cast<uint64_t>(time % 1000000000);
    // The fraction rounded up, so that it reads back as the same nanosecond.
    return (seconds << bits) + ((nanoseconds << bits) + 999999999) / 1000000000;
  }
  uint64_t ticks = static_cast<uint64_t>(time);
  for (int i = resolution; i < 9; ++i) ticks /= 10;
  for (int i = 9; i < resolution; ++i) ticks *= 10;
  return ticks;
}

}  // namespace

Bytes WritePcapng(const std::vector<TestPacket>& packets, uint32_t link_type, const PcapngLayout& layout) {
  const bool big = layout.big_endian;
  Bytes out;
  Section(&out, link_type, layout);
  for (size_t i = 0; i < packets.size(); ++i) {
    const TestPacket& packet = packets[i];
    if (layout.second_section && i == 1) Section(&out, link_type, layout);
    Bytes body;
    const size_t original = packet.original_length != 0 ? packet.original_length : packet.bytes.size();
    if (layout.simple) {
      Put(&body, original, 4, big);
    } else {
      const uint64_t ticks =
          packet.stamp != 0 ? packet.stamp : Ticks(packet.time, layout.resolution, layout.resolution_given);
      Put(&body, 0, 4, big);
      Put(&body, ticks >> 32, 4, big);
      Put(&body, ticks & 0xFFFFFFFFu, 4, big);
      Put(&body, packet.bytes.size(), 4, big);
      Put(&body, original, 4, big);
    }
    body.insert(body.end(), packet.bytes.begin(), packet.bytes.end());
    Block(&out, layout.simple ? 3 : 6, body, big);
  }
  return out;
}

Bytes WritePcapng(const std::vector<TestPacket>& packets, uint32_t link_type, bool big_endian, int decimals) {
  PcapngLayout layout;
  layout.big_endian = big_endian;
  layout.resolution = decimals;
  return WritePcapng(packets, link_type, layout);
}

std::vector<Bytes> UdpOverIpv4(const Bytes& payload, uint16_t port, uint16_t id, size_t mtu, size_t options) {
  Bytes udp;
  PutBig(&udp, 40000, 2);
  PutBig(&udp, port, 2);
  PutBig(&udp, 8 + payload.size(), 2);
  PutBig(&udp, 0, 2);
  udp.insert(udp.end(), payload.begin(), payload.end());
  // Fragments carry multiples of 8 bytes, but the last.
  const size_t header = 20 + (options + 3) / 4 * 4;
  const size_t per_fragment = (mtu - header) / 8 * 8;
  std::vector<Bytes> packets;
  for (size_t at = 0; at < udp.size() || at == 0; at += per_fragment) {
    const size_t length = udp.size() - at < per_fragment ? udp.size() - at : per_fragment;
    const bool more = at + length < udp.size();
    Bytes ip;
    ip.push_back(static_cast<unsigned char>(0x40 | header / 4));
    ip.push_back(0);
    PutBig(&ip, header + length, 2);
    PutBig(&ip, id, 2);
    PutBig(&ip, (more ? 0x2000 : 0) | at / 8, 2);
    ip.push_back(64);
    ip.push_back(17);
    PutBig(&ip, 0, 2);
    PutBig(&ip, 0xC0000201, 4);
    PutBig(&ip, 0xC0000202, 4);
    ip.resize(header, 1);  // options: no-operations
    ip.insert(ip.end(), udp.begin() + static_cast<long>(at), udp.begin() + static_cast<long>(at + length));
    packets.push_back(ip);
    if (!more) break;
  }
  return packets;
}

Bytes WithEthernet(const Bytes& ip, uint16_t vlan) {
  Bytes frame(12, 0x11);
  if (vlan != 0) {
    PutBig(&frame, 0x8100, 2);
    PutBig(&frame, vlan, 2);
  }
  PutBig(&frame, 0x0800, 2);
  frame.insert(frame.end(), ip.begin(), ip.end());
  // Short frames are padded to the 60 bytes Ethernet needs.
  if (frame.size() < 60) frame.resize(60, 0);
  return frame;
}

Bytes WithLinuxCooked(const Bytes& ip, int version) {
  Bytes frame;
  if (version == 2) {
    PutBig(&frame, 0x0800, 2);
    frame.resize(20, 0);
  } else {
    frame.resize(14, 0);
    PutBig(&frame, 0x0800, 2);
  }
  frame.insert(frame.end(), ip.begin(), ip.end());
  return frame;
}

Bytes WithLoopback(const Bytes& ip, bool big_endian) {
  Bytes frame;
  Put(&frame, 2, 4, big_endian);
  frame.insert(frame.end(), ip.begin(), ip.end());
  return frame;
}

bool WriteBytesToFile(const std::string& path, const Bytes& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && written;
}
