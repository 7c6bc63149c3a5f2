#include "capture/udp_datagrams.h"

#include <algorithm>

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

}  // namespace

bool UdpDatagramReader::TakeUdp(const unsigned char* ip_payload, size_t length, CapturedDatagram* datagram) {
  if (length < kUdpHeader) {
    ++tally_.not_udp;
    return false;
  }
  const size_t udp_length = Big16(ip_payload + 4);
  if (udp_length < kUdpHeader || udp_length > length) {
    ++tally_.not_udp;
    return false;
  }
  if (Big16(ip_payload + 2) != port_) {
    if (tally_.other_port++ == 0) tally_.first_other_port = static_cast<uint16_t>(Big16(ip_payload + 2));
    return false;
  }
  ++tally_.taken;
  *datagram = CapturedDatagram{last_time_, ip_payload + kUdpHeader, udp_length - kUdpHeader, 0,
                               static_cast<uint16_t>(Big16(ip_payload))};
  return true;
}

void UdpDatagramReader::GiveUp(std::map<FragmentKey, Reassembly>::iterator pending) {
  if (pending->second.conflict) {
    ++tally_.conflicting;
  } else if (pending->second.cut) {
    ++tally_.cut_short;
  } else {
    ++tally_.incomplete;
  }
  pending_bytes_ -= pending->second.bytes.size();
  pending_.erase(pending);
}

void UdpDatagramReader::MakeRoom(size_t more, const FragmentKey& keep) {
  for (;;) {
    const bool new_one = pending_.count(keep) == 0;
    if (pending_.size() + (new_one ? 1 : 0) <= kMostPendingDatagrams && pending_bytes_ + more <= kMostPendingBytes) {
      return;
    }
    auto oldest = pending_.end();
    for (auto entry = pending_.begin(); entry != pending_.end(); ++entry) {
      if (entry->first != keep && (oldest == pending_.end() || entry->second.age < oldest->second.age)) oldest = entry;
    }
    if (oldest == pending_.end()) return;  // the one datagram alone always fits
    GiveUp(oldest);
  }
}

bool UdpDatagramReader::TakeFragment(const unsigned char* header, size_t header_length, size_t total_length,
                                     size_t kept, bool cut, CapturedDatagram* datagram) {
  const unsigned char* payload = header + header_length;
  const size_t payload_kept = kept > header_length ? kept - header_length : 0;
  const size_t payload_length = total_length - header_length;
  const uint32_t flags_offset = Big16(header + 6);
  const bool more_fragments = (flags_offset & 0x2000) != 0;
  const size_t fragment_offset = static_cast<size_t>(flags_offset & 0x1FFF) * 8;
  const size_t end = fragment_offset + payload_length;
  const FragmentKey key(Big32(header + 12), Big32(header + 16), Big16(header + 4));
  if (end > 65535) {
    ++tally_.not_udp;  // no IP datagram is that long
    auto stale = pending_.find(key);
    if (stale != pending_.end()) {
      pending_bytes_ -= stale->second.bytes.size();
      pending_.erase(stale);
    }
    return false;
  }
  auto found = pending_.find(key);
  const size_t grows = found == pending_.end() ? end : (end > found->second.bytes.size() ? end - found->second.bytes.size() : 0);
  MakeRoom(grows, key);
  Reassembly& reassembly = pending_[key];
  if (found == pending_.end()) reassembly.age = begun_++;
  if (reassembly.bytes.size() < end) {
    pending_bytes_ += end - reassembly.bytes.size();
    reassembly.bytes.resize(end);
    reassembly.have.resize(end, false);
  }
  // Fragments that overlap must agree where they do: which one to believe
  // cannot be known (Linux drops such a datagram, the analyser flags it), so
  // the datagram is skipped and counted.
  for (size_t i = 0; i < payload_kept; ++i) {
    if (reassembly.have[fragment_offset + i]) {
      if (reassembly.bytes[fragment_offset + i] != payload[i]) reassembly.conflict = true;
      continue;
    }
    reassembly.bytes[fragment_offset + i] = payload[i];
    reassembly.have[fragment_offset + i] = true;
    ++reassembly.received;
  }
  if (cut) reassembly.cut = true;
  if (!more_fragments) reassembly.total = end;
  if (reassembly.total == 0 || reassembly.received < reassembly.total ||
      !std::all_of(reassembly.have.begin(), reassembly.have.begin() + static_cast<long>(reassembly.total),
                   [](bool b) { return b; })) {
    return false;
  }
  if (reassembly.conflict) {
    GiveUp(pending_.find(key));
    return false;
  }
  whole_.assign(reassembly.bytes.begin(), reassembly.bytes.begin() + static_cast<long>(reassembly.total));
  pending_bytes_ -= reassembly.bytes.size();
  pending_.erase(key);
  return TakeUdp(whole_.data(), whole_.size(), datagram);
}

bool UdpDatagramReader::Take(const CapturedPacket& packet, CapturedDatagram* datagram) {
  if (packet.time.known) last_time_ = packet.time;
  const unsigned char* data = packet.bytes;
  size_t ip = 0;
  if (!FindIpv4(packet.link_type, data, packet.captured_length, &ip)) {
    ++tally_.not_udp;
    return false;
  }
  const unsigned char* header = data + ip;
  const size_t captured = packet.captured_length - ip;
  // The link layer's length on the wire, less what the capture kept, is
  // what the snap length cut off.
  const bool snapped = packet.original_length > packet.captured_length;
  if (captured < 20) {
    if (snapped) {
      ++tally_.cut_short;
    } else {
      ++tally_.not_udp;
    }
    return false;
  }
  const size_t header_length = static_cast<size_t>(header[0] & 0x0F) * 4;
  const size_t total_length = Big16(header + 2);
  if (header[0] >> 4 != 4 || header_length < 20 || total_length < header_length || header[9] != kUdp) {
    ++tally_.not_udp;
    return false;
  }
  // Ethernet pads short frames: the IP header's length is the datagram's.
  const size_t kept = std::min(captured, total_length);
  const bool cut = kept < total_length;
  if (cut && !snapped) {
    ++tally_.not_udp;  // shorter than it says, with nothing cut: damaged
    return false;
  }
  const uint32_t flags_offset = Big16(header + 6);
  bool taken = false;
  if ((flags_offset & 0x3FFF) != 0) {
    taken = TakeFragment(header, header_length, total_length, kept, cut, datagram);
  } else if (cut) {
    ++tally_.cut_short;
  } else {
    taken = TakeUdp(header + header_length, total_length - header_length, datagram);
  }
  // Every fragment of a datagram comes from its source.
  if (taken) datagram->source_address = Big32(header + 12);
  return taken;
}

void UdpDatagramReader::Finish() {
  while (!pending_.empty()) GiveUp(pending_.begin());
}
