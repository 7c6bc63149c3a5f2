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
    Put(&out, static_cast<uint64_t>(packet.time / 1000000000), 4, big_endian);
    Put(&out, static_cast<uint64_t>(packet.time % 1000000000 / unit), 4, big_endian);
    Put(&out, packet.bytes.size(), 4, big_endian);
    Put(&out, packet.original_length != 0 ? packet.original_length : packet.bytes.size(), 4, big_endian);
    out.insert(out.end(), packet.bytes.begin(), packet.bytes.end());
  }
  return out;
}

Bytes WritePcapng(const std::vector<TestPacket>& packets, uint32_t link_type, bool big_endian, int decimals,
                  bool simple) {
  Bytes out;
  Bytes section;
  Put(&section, 0x1A2B3C4D, 4, big_endian);
  Put(&section, 1, 2, big_endian);
  Put(&section, 0, 2, big_endian);
  Put(&section, 0xFFFFFFFFFFFFFFFFu, 8, big_endian);
  Block(&out, 0x0A0D0D0A, section, big_endian);
  Bytes interface;
  Put(&interface, link_type, 2, big_endian);
  Put(&interface, 0, 2, big_endian);
  Put(&interface, 0, 4, big_endian);
  Put(&interface, 9, 2, big_endian);  // if_tsresol
  Put(&interface, 1, 2, big_endian);
  interface.push_back(static_cast<unsigned char>(decimals));
  Pad4(&interface);
  Put(&interface, 0, 4, big_endian);  // the end of the options
  Block(&out, 1, interface, big_endian);
  // A block the reader passes over: interface statistics.
  Bytes statistics;
  Put(&statistics, 0, 4, big_endian);
  Put(&statistics, 0, 8, big_endian);
  Block(&out, 5, statistics, big_endian);
  for (const TestPacket& packet : packets) {
    Bytes body;
    const size_t original = packet.original_length != 0 ? packet.original_length : packet.bytes.size();
    if (simple) {
      Put(&body, original, 4, big_endian);
    } else {
      int64_t ticks = packet.time;
      for (int i = decimals; i < 9; ++i) ticks /= 10;
      Put(&body, 0, 4, big_endian);
      Put(&body, static_cast<uint64_t>(ticks) >> 32, 4, big_endian);
      Put(&body, static_cast<uint64_t>(ticks) & 0xFFFFFFFFu, 4, big_endian);
      Put(&body, packet.bytes.size(), 4, big_endian);
      Put(&body, original, 4, big_endian);
    }
    body.insert(body.end(), packet.bytes.begin(), packet.bytes.end());
    Block(&out, simple ? 3 : 6, body, big_endian);
  }
  return out;
}

std::vector<Bytes> UdpOverIpv4(const Bytes& payload, uint16_t port, uint16_t id, size_t mtu) {
  Bytes udp;
  PutBig(&udp, 40000, 2);
  PutBig(&udp, port, 2);
  PutBig(&udp, 8 + payload.size(), 2);
  PutBig(&udp, 0, 2);
  udp.insert(udp.end(), payload.begin(), payload.end());
  // Fragments carry multiples of 8 bytes, but the last.
  const size_t per_fragment = (mtu - 20) / 8 * 8;
  std::vector<Bytes> packets;
  for (size_t at = 0; at < udp.size() || at == 0; at += per_fragment) {
    const size_t length = udp.size() - at < per_fragment ? udp.size() - at : per_fragment;
    const bool more = at + length < udp.size();
    Bytes ip;
    ip.push_back(0x45);
    ip.push_back(0);
    PutBig(&ip, 20 + length, 2);
    PutBig(&ip, id, 2);
    PutBig(&ip, (more ? 0x2000 : 0) | at / 8, 2);
    ip.push_back(64);
    ip.push_back(17);
    PutBig(&ip, 0, 2);
    PutBig(&ip, 0xC0000201, 4);
    PutBig(&ip, 0xC0000202, 4);
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
