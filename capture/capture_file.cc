#include "capture/capture_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "capture/byte_order.h"

namespace {

// The file or section being read, and its byte order.
struct Reader {
  const std::vector<unsigned char>* file;
  bool big_endian;
};

uint32_t U16(const Reader& reader, size_t at) {
  const unsigned char* p = reader.file->data() + at;
  return reader.big_endian ? Big16(p) : Little16(p);
}

uint32_t U32(const Reader& reader, size_t at) {
  const unsigned char* p = reader.file->data() + at;
  return reader.big_endian ? Big32(p) : Little32(p);
}

bool Fail(CaptureError* error, size_t offset, const std::string& what) {
  error->offset = offset;
  error->what = what;
  return false;
}

std::string Bytes(size_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

// --- pcap ---------------------------------------------------------------

const uint32_t kPcapMicro = 0xA1B2C3D4;
const uint32_t kPcapNano = 0xA1B23C4D;
const size_t kPcapHeader = 24;
const size_t kPcapRecordHeader = 16;

bool ReadPcap(const std::vector<unsigned char>& file, std::vector<CapturedPacket>* packets, CaptureError* error) {
  const uint32_t magic = Little32(file.data());
  Reader reader = {&file, false};
  bool nano = false;
  if (magic == kPcapMicro || magic == kPcapNano) {
    nano = magic == kPcapNano;
  } else {
    reader.big_endian = true;
    nano = U32(reader, 0) == kPcapNano;
  }
  if (file.size() < kPcapHeader) {
    return Fail(error, file.size(), "cut short: the pcap file header needs 24 bytes, the file has " + Bytes(file.size()));
  }
  const uint32_t link_type = U32(reader, 20) & 0xFFFF;
  for (size_t at = kPcapHeader; at < file.size();) {
    if (file.size() - at < kPcapRecordHeader) {
      return Fail(error, at, "cut short: a packet record's header needs 16 bytes, the file has " +
                                 Bytes(file.size() - at) + " left");
    }
    const uint32_t captured = U32(reader, at + 8);
    const uint32_t original = U32(reader, at + 12);
    if (captured > file.size() - at - kPcapRecordHeader) {
      return Fail(error, at, "damaged or cut short: the packet record holds " + Bytes(captured) + ", the file has " +
                                 Bytes(file.size() - at - kPcapRecordHeader) + " left");
    }
    const int64_t seconds = U32(reader, at);
    const int64_t fraction = U32(reader, at + 4);
    const int64_t time = seconds * 1000000000 + (nano ? fraction : fraction * 1000);
    packets->push_back(CapturedPacket{link_type, time, at + kPcapRecordHeader, captured, original});
    at += kPcapRecordHeader + captured;
  }
  return true;
}

// --- pcapng -------------------------------------------------------------

const uint32_t kSectionHeader = 0x0A0D0D0A;
const uint32_t kByteOrderMagic = 0x1A2B3C4D;
const uint32_t kInterfaceDescription = 1;
const uint32_t kObsoletePacket = 2;
const uint32_t kSimplePacket = 3;
const uint32_t kEnhancedPacket = 6;

struct Interface {
  uint32_t link_type;
  uint32_t snap_length;  // 0: no limit
  bool decimal;          // timestamps in 10^-units seconds, else 2^-units
  uint32_t units;
};

// A timestamp of `ticks` in the interface's resolution, in nanoseconds.
int64_t Nanoseconds(uint64_t ticks, const Interface& interface) {
  if (interface.decimal) {
    if (interface.units <= 9) {
      int64_t scale = 1;
      for (uint32_t i = interface.units; i < 9; ++i) scale *= 10;
      return static_cast<int64_t>(ticks) * scale;
    }
    uint64_t divisor = 1;
    for (uint32_t i = 9; i < interface.units && i < 27; ++i) divisor *= 10;
    return static_cast<int64_t>(ticks / divisor);
  }
  return static_cast<int64_t>(std::ldexp(static_cast<long double>(ticks) * 1e9L, -static_cast<int>(interface.units)));
}

// The options of an interface description: its timestamp resolution.
bool ReadInterfaceOptions(const Reader& reader, size_t at, size_t end, Interface* interface, CaptureError* error) {
  while (end - at >= 4) {
    const uint32_t code = U16(reader, at);
    const uint32_t length = U16(reader, at + 2);
    if (code == 0) break;
    const size_t padded = (static_cast<size_t>(length) + 3) & ~static_cast<size_t>(3);
    if (padded > end - at - 4) return Fail(error, at, "damaged: an interface option runs past its block");
    if (code == 9 && length >= 1) {  // if_tsresol
      const unsigned char resolution = (*reader.file)[at + 4];
      interface->decimal = (resolution & 0x80) == 0;
      interface->units = resolution & 0x7F;
      if (!interface->decimal && interface->units > 63) {
        return Fail(error, at, "damaged: a timestamp resolution of 2^-" + std::to_string(interface->units));
      }
    }
    at += 4 + padded;
  }
  return true;
}

bool ReadPcapng(const std::vector<unsigned char>& file, std::vector<CapturedPacket>* packets, CaptureError* error) {
  Reader reader = {&file, false};
  std::vector<Interface> interfaces;
  for (size_t at = 0; at < file.size();) {
    if (file.size() - at < 12) {
      return Fail(error, at, "cut short: a block needs at least 12 bytes, the file has " + Bytes(file.size() - at) +
                                 " left");
    }
    const uint32_t type = Little32(file.data() + at);  // the section header's type reads the same either way
    if (type == kSectionHeader) {
      const uint32_t order = Little32(file.data() + at + 8);
      if (order == kByteOrderMagic) {
        reader.big_endian = false;
      } else {
        reader.big_endian = true;
        if (U32(reader, at + 8) != kByteOrderMagic) {
          return Fail(error, at + 8, "damaged: the section header has no byte-order magic number");
        }
      }
      interfaces.clear();
    } else if (at == 0) {
      return Fail(error, 0, "not a pcapng file: it does not start with a section header");
    }
    const uint32_t block_type = U32(reader, at);
    const uint32_t length = U32(reader, at + 4);
    if (length < 12 || length % 4 != 0) {
      return Fail(error, at, "damaged: a block of type " + std::to_string(block_type) + " gives its length as " +
                                 std::to_string(length));
    }
    if (length > file.size() - at) {
      return Fail(error, at, "damaged or cut short: a block of type " + std::to_string(block_type) + " of " +
                                 Bytes(length) + " runs past the end of the file, which has " +
                                 Bytes(file.size() - at) + " left");
    }
    if (U32(reader, at + length - 4) != length) {
      return Fail(error, at + length - 4, "damaged: a block of type " + std::to_string(block_type) +
                                              " ends with another length than it starts with");
    }
    const size_t body = at + 8;
    const size_t body_length = length - 12;
    if (block_type == kInterfaceDescription) {
      if (body_length < 8) return Fail(error, at, "damaged: an interface description of " + Bytes(length));
      Interface interface = {U16(reader, body), U32(reader, body + 4), true, 6};
      if (!ReadInterfaceOptions(reader, body + 8, body + body_length, &interface, error)) return false;
      interfaces.push_back(interface);
    } else if (block_type == kEnhancedPacket || block_type == kObsoletePacket || block_type == kSimplePacket) {
      size_t header = 0;
      uint32_t interface_id = 0;
      int64_t time = kNoTime;
      uint32_t captured = 0;
      uint32_t original = 0;
      if (block_type == kSimplePacket) {
        header = 4;
        if (body_length < header) return Fail(error, at, "damaged: a simple packet block of " + Bytes(length));
        original = U32(reader, body);
      } else {
        header = 20;
        if (body_length < header) return Fail(error, at, "damaged: a packet block of " + Bytes(length));
        interface_id = block_type == kEnhancedPacket ? U32(reader, body) : U16(reader, body);
        captured = U32(reader, body + 12);
        original = U32(reader, body + 16);
      }
      if (interface_id >= interfaces.size()) {
        return Fail(error, at, "damaged: a packet of interface " + std::to_string(interface_id) + ", which has " +
                                   "no description before it");
      }
      const Interface& interface = interfaces[interface_id];
      if (block_type == kSimplePacket) {
        // Its bytes: the packet's, up to the interface's snap length.
        captured = original;
        if (interface.snap_length != 0 && captured > interface.snap_length) captured = interface.snap_length;
      } else {
        const uint64_t ticks = static_cast<uint64_t>(U32(reader, body + 4)) << 32 | U32(reader, body + 8);
        time = Nanoseconds(ticks, interface);
      }
      if (captured > body_length - header) {
        return Fail(error, at, "damaged: a packet block holds " + Bytes(body_length - header) + " but says " +
                                   Bytes(captured));
      }
      packets->push_back(CapturedPacket{interface.link_type, time, body + header, captured, original});
    }
    // Any other block (statistics, names, ...) says nothing of the packets.
    at += length;
  }
  return true;
}

}  // namespace

bool ReadCapturePackets(const std::vector<unsigned char>& file, std::vector<CapturedPacket>* packets,
                        CaptureError* error) {
  packets->clear();
  bool read = false;
  if (file.size() < 4) {
    read = Fail(error, 0, "not a capture file: it holds " + Bytes(file.size()));
  } else {
    const uint32_t magic = Little32(file.data());
    const uint32_t big_magic = Big32(file.data());
    if (magic == kPcapMicro || magic == kPcapNano || big_magic == kPcapMicro || big_magic == kPcapNano) {
      read = ReadPcap(file, packets, error);
    } else if (magic == kSectionHeader) {
      read = ReadPcapng(file, packets, error);
    } else {
      read = Fail(error, 0, "not a capture file: it starts with neither the pcap nor the pcapng magic number");
    }
  }
  if (!read) packets->clear();
  return read;
}

bool ReadWholeCaptureFile(const std::string& path, std::vector<unsigned char>* file, std::string* why) {
  FILE* stream = fopen(path.c_str(), "rb");
  if (stream == nullptr) {
    *why = strerror(errno);
    return false;
  }
  file->clear();
  unsigned char chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, stream)) > 0) file->insert(file->end(), chunk, chunk + n);
  const bool failed = ferror(stream) != 0;
  if (failed) *why = strerror(errno);
  fclose(stream);
  return !failed;
}
