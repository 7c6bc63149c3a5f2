// A recording of UDP datagrams as a pcapng file, written as they come: a
// section header, one interface of raw IPv4 with times in nanoseconds, then
// one packet block a datagram, with IPv4 and UDP headers made from its
// source and destination. Each block goes to the file whole and is flushed
// before the next, so that a recording cut by a crash holds every datagram
// before the cut; a block that a full disk took only in part is cut back
// off, so that the file ends after a whole one.
#ifndef CAPTURE_PCAPNG_WRITER_H_
#define CAPTURE_PCAPNG_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The most a datagram holds: its IPv4 packet is at most 65,535 bytes.
const size_t kMostRecordedPayload = 65535 - 20 - 8;

// One datagram's addresses, in host byte order (127.0.0.1 is 0x7F000001).
struct UdpEnds {
  uint32_t source_address;
  uint16_t source_port;
  uint32_t destination_address;
  uint16_t destination_port;
};

// Owns the file; the destructor closes it (Close says whether that worked).
class PcapngWriter {
 public:
  PcapngWriter() = default;
  ~PcapngWriter();
  PcapngWriter(const PcapngWriter&) = delete;
  PcapngWriter& operator=(const PcapngWriter&) = delete;

  // Creates (or empties) `path` and writes the section and interface, which
  // name `application` as the writer. False, with words in `*err`.
  bool Open(const std::string& path, const std::string& application, std::string* err);

  // Writes one datagram of `size` bytes, received at `time_ns` (ns since
  // 1970, not before it). False, with words in `*err`: then nothing more is
  // written, and the file holds every datagram before this one.
  bool Write(int64_t time_ns, const UdpEnds& ends, const unsigned char* payload, size_t size, std::string* err);

  // Closes the file; false, with words, if what was written did not all
  // reach it (also after a write that failed).
  bool Close(std::string* err);

  uint64_t packets() const { return packets_; }
  uint64_t bytes() const { return bytes_; }
  // The errno value of the last failure, 0 if none.
  int os_error() const { return os_error_; }

 private:
  // Hands the block made so far to the file, whole, and flushes it; on a
  // failure the file is cut back to its last whole block.
  bool PutBlock(std::string* err);
  // Closes the file after a failed write and cuts off what of the block
  // reached it; a file whose headers never reached it whole is removed.
  void CutBack();
  bool Failed(const std::string& doing, int error, std::string* err);

  FILE* file_ = nullptr;
  std::string path_;
  std::vector<unsigned char> block_;
  bool failed_ = false;
  int os_error_ = 0;
  uint64_t headers_bytes_ = 0;  // the section and interface blocks' bytes
  uint16_t ip_id_ = 0;
  uint64_t packets_ = 0;
  uint64_t bytes_ = 0;  // of the file
};

#endif  // CAPTURE_PCAPNG_WRITER_H_
