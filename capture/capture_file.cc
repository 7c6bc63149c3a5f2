#include "capture/capture_file.h"

#include <cmath>

#include "capture/byte_order.h"
#include "capture/pcapng_format.h"

namespace {

const uint32_t kPcapMicro = 0xA1B2C3D4;
const uint32_t kPcapNano = 0xA1B23C4D;
const size_t kPcapHeader = 24;
const size_t kPcapRecordHeader = 16;


std::string Bytes(uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

// The largest decimal exponent whose power of ten a uint64_t holds.
const uint32_t kMostDecimalUnits = 19;
const uint32_t kMostBinaryUnits = 63;

uint64_t PowerOfTen(uint32_t exponent) {
  uint64_t power = 1;
  for (uint32_t i = 0; i < exponent; ++i) power *= 10;
  return power;
}

}  // namespace

bool CaptureReader::Stop(CaptureEnd end, uint64_t offset, const std::string& words) {
  end_ = end;
  end_offset_ = offset;
  end_words_ = words;
  return false;
}

bool CaptureReader::ReadMore(size_t size, uint64_t record, const std::string& what) {
  const size_t had = block_.size();
  block_.resize(had + size);
  const size_t got = source_->Read(block_.data() + had, size);
  offset_ += got;
  if (got == size) return true;
  block_.resize(had + got);
  if (!source_->failure().empty()) return Stop(kCaptureDamaged, offset_, "cannot be read: " + source_->failure());
  return Stop(kCaptureCutShort, record,
              what + " needs " + Bytes(had + size) + ", the file has " + Bytes(had + got) + " left");
}

uint32_t CaptureReader::U16(size_t at) const {
  return big_endian_ ? Big16(block_.data() + at) : Little16(block_.data() + at);
}

uint32_t CaptureReader::U32(size_t at) const {
  return big_endian_ ? Big32(block_.data() + at) : Little32(block_.data() + at);
}

bool CaptureReader::Begin() {
  if (end_ != kCaptureReading) return false;
  return format_ != kUnknown || Start();
}

bool CaptureReader::Next(CapturedPacket* packet) {
  if (end_ != kCaptureReading) return false;
  if (format_ == kUnknown && !Start()) return false;
  const bool next = format_ == kPcap ? NextPcap(packet) : NextPcapng(packet);
  if (next) ++packets_;
  return next;
}

bool CaptureReader::Start() {
  block_.assign(4, 0);
  const size_t magic_bytes = source_->Read(block_.data(), 4);
  offset_ = magic_bytes;
  if (magic_bytes < 4) {
    if (!source_->failure().empty()) return Stop(kCaptureDamaged, 0, "cannot be read: " + source_->failure());
    return Stop(kCaptureDamaged, 0, "not a capture file: it holds " + Bytes(magic_bytes));
  }
  const uint32_t little = Little32(block_.data());
  const uint32_t big = Big32(block_.data());
  if (little == kPcapMicro || little == kPcapNano || big == kPcapMicro || big == kPcapNano) {
    format_ = kPcap;
    big_endian_ = big == kPcapMicro || big == kPcapNano;
    nanoseconds_ = (big_endian_ ? big : little) == kPcapNano;
    if (!ReadMore(kPcapHeader - 4, 0, "the pcap file header")) return false;
    pcap_link_type_ = U32(20) & 0xFFFF;
    return true;
  }
  // The section header's type reads the same in either byte order.
  if (little == kSectionHeader) {
    format_ = kPcapng;
    first_block_started_ = true;
    return true;
  }
  return Stop(kCaptureDamaged, 0, "not a capture file: it starts with neither the pcap nor the pcapng magic number");
}

bool CaptureReader::NextPcap(CapturedPacket* packet) {
  const uint64_t record = offset_;
  block_.clear();
  block_.resize(kPcapRecordHeader);
  const size_t got = source_->Read(block_.data(), kPcapRecordHeader);
  offset_ += got;
  if (got == 0 && source_->failure().empty()) {
    end_ = kCaptureWhole;
    return false;
  }
  block_.resize(got);
  if (got < kPcapRecordHeader && !ReadMore(kPcapRecordHeader - got, record, "a packet record's header")) return false;
  const uint32_t captured = U32(8);
  if (captured > kMostPcapRecordBytes) {
    return Stop(kCaptureDamaged, record,
                "damaged: a packet record of " + Bytes(captured) + ", more than the " +
                    std::to_string(kMostPcapRecordBytes) + " any capture tool writes");
  }
  if (!ReadMore(captured, record, "the packet record")) return false;
  // Seconds and their fraction apart; a fraction of a second or more is
  // carried over, as the analyser shows it.
  const uint32_t per_second = nanoseconds_ ? kNanosecondsPerSecond : 1000000;
  const uint32_t fraction = U32(4);
  const uint32_t nanoseconds = fraction % per_second * (kNanosecondsPerSecond / per_second);
  packet->time = CaptureTime{true, static_cast<uint64_t>(U32(0)) + fraction / per_second, nanoseconds};
  packet->link_type = pcap_link_type_;
  packet->offset = record;
  packet->bytes = block_.data() + kPcapRecordHeader;
  packet->captured_length = captured;
  packet->original_length = U32(12);
  return true;
}

bool CaptureReader::NextPcapng(CapturedPacket* packet) {
  for (;;) {
    // The first block's type was read to tell the format.
    const uint64_t start = first_block_started_ ? 0 : offset_;
    if (first_block_started_) {
      first_block_started_ = false;
    } else {
      block_.clear();
      block_.resize(4);
      const size_t got = source_->Read(block_.data(), 4);
      offset_ += got;
      if (got == 0 && source_->failure().empty()) {
        end_ = kCaptureWhole;
        return false;
      }
      block_.resize(got);
      if (got < 4 && !ReadMore(4 - got, start, "a block's header")) return false;
    }
    const bool section = Little32(block_.data()) == kSectionHeader;
    if (start == 0 && !section) {
      return Stop(kCaptureDamaged, 0, "not a pcapng file: it does not start with a section header");
    }
    // A section's byte order is in its first field; the length before it
    // is read in that order.
    if (!ReadMore(section ? 8 : 4, start, "a block's header")) return false;
    if (section) {
      if (Little32(block_.data() + 8) == kByteOrderMagic) {
        big_endian_ = false;
      } else if (Big32(block_.data() + 8) == kByteOrderMagic) {
        big_endian_ = true;
      } else {
        return Stop(kCaptureDamaged, start + 8, "damaged: the section header has no byte-order magic number");
      }
    }
    const uint32_t type = U32(0);
    const uint32_t length = U32(4);
    const std::string named = "a block of type " + std::to_string(type);
    if (length < kBlockHeader + kBlockTrailer || length % 4 != 0 || (section && length < kSmallestSection)) {
      return Stop(kCaptureDamaged, start, "damaged: " + named + " gives its length as " + std::to_string(length));
    }
    if (length > kMostBlockBytes) {
      return Stop(kCaptureDamaged, start,
                  "damaged: " + named + " of " + Bytes(length) + ", more than the " +
                      std::to_string(kMostBlockBytes) + " any capture tool writes");
    }
    if (!ReadMore(length - block_.size(), start, named)) return false;
    if (U32(length - kBlockTrailer) != length) {
      return Stop(kCaptureDamaged, start + length - kBlockTrailer,
                  "damaged: " + named + " ends with another length than it starts with");
    }
    if (section) {
      if (!TakeSection(length)) return false;
    } else if (type == kInterfaceDescription) {
      if (!TakeInterface(length)) return false;
    } else if (type == kEnhancedPacket || type == kObsoletePacket || type == kSimplePacket) {
      packet->offset = start;
      return TakePacketBlock(type, length, packet);
    }
    // Any other block (statistics, names, ...) says nothing of the packets.
  }
}

bool CaptureReader::TakeSection(uint32_t /*length*/) {
  // Interfaces are described anew in each section.
  interfaces_.clear();
  return true;
}

bool CaptureReader::TakeInterface(uint32_t length) {
  const uint64_t start = offset_ - length;
  if (length < kBlockHeader + 8 + kBlockTrailer) {
    return Stop(kCaptureDamaged, start, "damaged: an interface description of " + Bytes(length));
  }
  if (interfaces_.size() >= kMostInterfaces) {
    return Stop(kCaptureDamaged, start,
                "damaged: more than " + std::to_string(kMostInterfaces) + " interfaces in one section");
  }
  Interface interface = {U16(kBlockHeader), U32(kBlockHeader + 4), true, 6};
  // Its options, each padded to 4 bytes, up to the end of the options.
  const size_t options_end = length - kBlockTrailer;
  for (size_t at = kBlockHeader + 8; options_end - at >= 4;) {
    const uint32_t code = U16(at);
    const uint32_t option_length = U16(at + 2);
    if (code == 0) break;
    const size_t padded = (static_cast<size_t>(option_length) + 3) & ~static_cast<size_t>(3);
    if (padded > options_end - at - 4) return Stop(kCaptureDamaged, start + at, "damaged: an interface option runs past its block");
    if (code == kTimestampResolution && option_length >= 1) {
      const unsigned char resolution = block_[at + 4];
      interface.decimal = (resolution & 0x80) == 0;
      interface.units = resolution & 0x7F;
      if ((interface.decimal && interface.units > kMostDecimalUnits) ||
          (!interface.decimal && interface.units > kMostBinaryUnits)) {
        return Stop(kCaptureDamaged, start + at,
                    std::string("damaged: a timestamp resolution of ") + (interface.decimal ? "10^-" : "2^-") +
                        std::to_string(interface.units) + " s");
      }
    }
    at += 4 + padded;
  }
  interfaces_.push_back(interface);
  return true;
}

CaptureTime CaptureReader::PcapngTime(uint64_t ticks, const Interface& interface) {
  // Whole seconds and the rest apart, as libpcap reads them.
  if (interface.decimal) {
    const uint64_t per_second = PowerOfTen(interface.units);
    const uint64_t rest = ticks % per_second;
    const uint64_t nanoseconds =
        interface.units <= 9 ? rest * PowerOfTen(9 - interface.units) : rest / PowerOfTen(interface.units - 9);
    return CaptureTime{true, ticks / per_second, static_cast<uint32_t>(nanoseconds)};
  }
  const uint64_t per_second = uint64_t{1} << interface.units;
  const uint64_t rest = ticks & (per_second - 1);
  // rest / 2^units is below 1: its nanoseconds fit, and a double holds them
  // to well within one.
  double nanoseconds = std::floor(std::ldexp(static_cast<double>(rest), -static_cast<int>(interface.units)) * 1e9);
  if (nanoseconds > kNanosecondsPerSecond - 1) nanoseconds = kNanosecondsPerSecond - 1;
  return CaptureTime{true, ticks >> interface.units, static_cast<uint32_t>(nanoseconds)};
}

bool CaptureReader::TakePacketBlock(uint32_t type, uint32_t length, CapturedPacket* packet) {
  const uint64_t start = packet->offset;
  const size_t body = length - kBlockHeader - kBlockTrailer;
  const size_t header = type == kSimplePacket ? 4 : 20;
  if (body < header) {
    return Stop(kCaptureDamaged, start,
                std::string("damaged: a") + (type == kSimplePacket ? " simple" : "") + " packet block of " +
                    Bytes(length));
  }
  const uint32_t interface_id = type == kEnhancedPacket ? U32(kBlockHeader) : type == kObsoletePacket ? U16(kBlockHeader) : 0;
  if (interface_id >= interfaces_.size()) {
    return Stop(kCaptureDamaged, start,
                "damaged: a packet of interface " + std::to_string(interface_id) + ", which has no description before it");
  }
  const Interface& interface = interfaces_[interface_id];
  uint64_t captured = 0;
  if (type == kSimplePacket) {
    // No time, and its bytes are the packet's, up to the snap length.
    packet->original_length = U32(kBlockHeader);
    captured = packet->original_length;
    if (interface.snap_length != 0 && captured > interface.snap_length) captured = interface.snap_length;
    packet->time = CaptureTime{false, 0, 0};
  } else {
    captured = U32(kBlockHeader + 12);
    packet->original_length = U32(kBlockHeader + 16);
    const uint64_t ticks = static_cast<uint64_t>(U32(kBlockHeader + 4)) << 32 | U32(kBlockHeader + 8);
    packet->time = PcapngTime(ticks, interface);
  }
  if (captured > body - header) {
    return Stop(kCaptureDamaged, start,
                "damaged: a packet block holds " + Bytes(body - header) + " but says " + Bytes(captured));
  }
  packet->link_type = interface.link_type;
  packet->bytes = block_.data() + kBlockHeader + header;
  packet->captured_length = static_cast<size_t>(captured);
  return true;
}
