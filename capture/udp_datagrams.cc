#include "capture/udp_datagrams.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "capture/byte_order.h"

namespace {

const uint32_t kEtherTypeIpv4 = 0x0800;
const uint32_t kAddressFamilyInet = 2;
const unsigned kUdp = 17;
const size_t kUdpHeader = 8;

// Where the IPv4 header starts in a packet of `link_type`; false if the
// packet carries no IPv4 (or its link layer is not one that is read).
bool FindIpv4(uint32_t link_type, const unsigned char* data, size_t length, size_t* start) {
  switch (link_type) {
    case kLinkEthernet: {
      size_t at = 12;
      // VLAN tags (802.1Q, 802.1ad, and the older QinQ type) before the type.
      while (length >= at + 2 && (Big16(data + at) == 0x8100 || Big16(data + at) == 0x88A8 ||
                                  Big16(data + at) == 0x9100)) {
        at += 4;
      }
      if (length < at + 2 || Big16(data + at) != kEtherTypeIpv4) return false;
      *start = at + 2;
      return true;
    }
    case kLinkLinuxCooked:
      if (length < 16 || Big16(data + 14) != kEtherTypeIpv4) return false;
      *start = 16;
      return true;
    case kLinkLinuxCooked2:
      if (length < 20 || Big16(data) != kEtherTypeIpv4) return false;
      *start = 20;
      return true;
    case kLinkNull: {
      // The capturing host's own byte order, whichever it was.
      if (length < 4) return false;
      const uint32_t family = Big32(data);
      if (family != kAddressFamilyInet && family != kAddressFamilyInet << 24) return false;
      *start = 4;
      return true;
    }
    case kLinkLoop:
      if (length < 4 || Big32(data) != kAddressFamilyInet) return false;
      *start = 4;
      return true;
    case kLinkRaw:
    case kLinkIpv4:
    case 12:  // raw IP as some systems number it in older files
    case 14:
      if (length < 1 || data[0] >> 4 != 4) return false;
      *start = 0;
      return true;
    default: return false;
  }
}

// An IP datagram whose fragments are being put together.
struct Reassembly {
  std::vector<unsigned char> bytes;  // its payload as far as received
  std::vector<bool> have;            // which of its bytes were received
  size_t received = 0;               // how many
  size_t total = 0;                  // its payload's length, once the last fragment came; else 0
  bool cut = false;                  // a fragment was cut short by the snap length
};

typedef std::tuple<uint32_t, uint32_t, uint32_t> FragmentKey;  // source, destination, identification

// Takes the UDP datagram in `ip_payload` (whole): its payload if bound for
// `port`, else counts why not.
void TakeUdp(const unsigned char* ip_payload, size_t length, int64_t time, uint16_t port,
             std::vector<CapturedDatagram>* datagrams, DatagramTally* tally) {
  if (length < kUdpHeader) {
    ++tally->not_udp;
    return;
  }
  const size_t udp_length = Big16(ip_payload + 4);
  if (udp_length < kUdpHeader || udp_length > length) {
    ++tally->not_udp;
    return;
  }
  if (Big16(ip_payload + 2) != port) {
    ++tally->other_port;
    return;
  }
  ++tally->taken;
  datagrams->push_back(CapturedDatagram{
      time, std::vector<unsigned char>(ip_payload + kUdpHeader, ip_payload + udp_length)});
}

}  // namespace

void ExtractUdpDatagrams(const std::vector<unsigned char>& file, const std::vector<CapturedPacket>& packets,
                         uint16_t port, std::vector<CapturedDatagram>* datagrams, DatagramTally* tally) {
  datagrams->clear();
  *tally = DatagramTally{0, 0, 0, 0, 0};
  std::map<FragmentKey, Reassembly> pending;
  int64_t last_time = kNoTime;
  for (const CapturedPacket& packet : packets) {
    if (packet.time != kNoTime) last_time = packet.time;
    const unsigned char* data = file.data() + packet.offset;
    size_t ip = 0;
    if (!FindIpv4(packet.link_type, data, packet.captured_length, &ip)) {
      ++tally->not_udp;
      continue;
    }
    const unsigned char* header = data + ip;
    const size_t captured = packet.captured_length - ip;
    // The link layer's length on the wire, less what the capture kept, is
    // what the snap length cut off.
    const bool snapped = packet.original_length > packet.captured_length;
    if (captured < 20) {
      if (snapped) {
        ++tally->cut_short;
      } else {
        ++tally->not_udp;
      }
      continue;
    }
    const size_t header_length = static_cast<size_t>(header[0] & 0x0F) * 4;
    const size_t total_length = Big16(header + 2);
    if (header[0] >> 4 != 4 || header_length < 20 || total_length < header_length) {
      ++tally->not_udp;
      continue;
    }
    if (header[9] != kUdp) {
      ++tally->not_udp;
      continue;
    }
    // Ethernet pads short frames: the IP header's length is the datagram's.
    const size_t kept = std::min(captured, total_length);
    const bool cut = kept < total_length;
    if (cut && !snapped) {
      ++tally->not_udp;  // shorter than it says, with nothing cut: damaged
      continue;
    }
    const unsigned char* payload = header + header_length;
    const size_t payload_kept = kept > header_length ? kept - header_length : 0;
    const size_t payload_length = total_length - header_length;
    const uint32_t flags_offset = Big16(header + 6);
    const bool more_fragments = (flags_offset & 0x2000) != 0;
    const size_t fragment_offset = static_cast<size_t>(flags_offset & 0x1FFF) * 8;

    if (!more_fragments && fragment_offset == 0) {
      if (cut) {
        ++tally->cut_short;
      } else {
        TakeUdp(payload, payload_length, last_time, port, datagrams, tally);
      }
      continue;
    }

    const FragmentKey key(Big32(header + 12), Big32(header + 16), Big16(header + 4));
    Reassembly& reassembly = pending[key];
    const size_t end = fragment_offset + payload_length;
    if (end > 65535) {
      ++tally->not_udp;  // no IP datagram is that long
      pending.erase(key);
      continue;
    }
    if (reassembly.bytes.size() < end) {
      reassembly.bytes.resize(end);
      reassembly.have.resize(end, false);
    }
    for (size_t i = 0; i < payload_kept; ++i) {
      reassembly.bytes[fragment_offset + i] = payload[i];
      if (!reassembly.have[fragment_offset + i]) {
        reassembly.have[fragment_offset + i] = true;
        ++reassembly.received;
      }
    }
    if (cut) reassembly.cut = true;
    if (!more_fragments) reassembly.total = end;
    if (reassembly.total != 0 && reassembly.received >= reassembly.total &&
        std::all_of(reassembly.have.begin(), reassembly.have.begin() + static_cast<long>(reassembly.total),
                    [](bool b) { return b; })) {
      TakeUdp(reassembly.bytes.data(), reassembly.total, last_time, port, datagrams, tally);
      pending.erase(key);
    }
  }
  // What never came whole.
  for (const auto& entry : pending) {
    if (entry.second.cut) {
      ++tally->cut_short;
    } else {
      ++tally->incomplete;
    }
  }
}
