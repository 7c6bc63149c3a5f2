// Reading the packets of a capture file, as the packet analyser writes
// them: pcap (either byte order, micro- or nanosecond timestamps) and
// pcapng. Portable, with no capture library. The file is read a record at
// a time, into one buffer of at most kMostBlockBytes, so that memory never
// grows with the file; every length and time is checked before it is used,
// as libpcap's own reader does.
#ifndef CAPTURE_CAPTURE_FILE_H_
#define CAPTURE_CAPTURE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/uninitialized_allocator.h"

#include "capture/byte_source.h"
#include "capture/capture_time.h"

// The longest pcap record any capture tool writes (the analyser's and
// libpcap's largest snap length), and the longest pcapng block libpcap
// reads: anything longer is damage, not a packet.
const uint32_t kMostPcapRecordBytes = 262144;
const uint32_t kMostBlockBytes = 16 * 1024 * 1024;
// The interfaces a pcapng section may describe.
const size_t kMostInterfaces = 65536;

// One packet as captured.
struct CapturedPacket {
  uint32_t link_type;           // LINKTYPE_ number: 1 Ethernet, 113 and 276 Linux cooked, 0 loopback, 101 raw IP, ...
  CaptureTime time;
  uint64_t offset;              // of its record (or block) in the file
  const unsigned char* bytes;   // as captured: valid until the next packet is read
  size_t captured_length;       // bytes in the file
  uint64_t original_length;     // bytes on the wire
};

// How the packets of a file ended.
enum CaptureEnd {
  kCaptureReading,   // not yet
  kCaptureWhole,     // at the end of the file, after a whole record
  kCaptureCutShort,  // the file ends inside a record: a capture stopped hard
  kCaptureDamaged,   // no capture file, or wrong before its end
};

class CaptureReader {
 public:
  // Reads from `source`, which must outlive it.
  explicit CaptureReader(ByteSource* source) : source_(source) {}

  // Reads the file's header now, if it was not read yet: false if the
  // packets ended there (end() says how).
  bool Begin();

  // The next packet. False once there is none; end() then says why.
  bool Next(CapturedPacket* packet);

  CaptureEnd end() const { return end_; }
  // For a file cut short or damaged: the byte offset of the record (or
  // field) where it goes wrong, and what is wrong there, in words.
  uint64_t end_offset() const { return end_offset_; }
  const std::string& end_words() const { return end_words_; }
  // Packets handed out so far.
  uint64_t packets() const { return packets_; }

 private:
  enum Format { kUnknown, kPcap, kPcapng };

  struct Interface {
    uint32_t link_type;
    uint32_t snap_length;  // 0: no limit
    bool decimal;          // timestamps in 10^-units seconds, else 2^-units
    uint32_t units;
  };

  bool Start();
  bool NextPcap(CapturedPacket* packet);
  bool NextPcapng(CapturedPacket* packet);
  bool TakeSection(uint32_t length);
  bool TakeInterface(uint32_t length);
  bool TakePacketBlock(uint32_t type, uint32_t length, CapturedPacket* packet);

  // Reads `size` more bytes to the end of block_. False if the file ends
  // first: cut short at `record`, with `what` needing them.
  bool ReadMore(size_t size, uint64_t record, const std::string& what);
  bool Stop(CaptureEnd end, uint64_t offset, const std::string& words);
  uint32_t U16(size_t at) const;
  uint32_t U32(size_t at) const;
  static CaptureTime PcapngTime(uint64_t ticks, const Interface& interface);

  ByteSource* source_;
  Format format_ = kUnknown;
  bool big_endian_ = false;
  bool nanoseconds_ = false;        // pcap: nanosecond timestamps
  bool first_block_started_ = false;  // pcapng: the first block's type is read
  uint32_t pcap_link_type_ = 0;
  std::vector<Interface> interfaces_;  // of the current pcapng section
  // The record being read. Its bytes are read over at once: growing it
  // leaves them as they are rather than zeroing 64 KB a packet first.
  std::vector<unsigned char, UninitializedAllocator<unsigned char>> block_;
  uint64_t offset_ = 0;                // bytes of the file read so far
  uint64_t packets_ = 0;
  CaptureEnd end_ = kCaptureReading;
  uint64_t end_offset_ = 0;
  std::string end_words_;
};

#endif  // CAPTURE_CAPTURE_FILE_H_
