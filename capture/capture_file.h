// Reading the packets of a capture file, as the packet analyser writes
// them: pcap (either byte order, micro- or nanosecond timestamps) and
// pcapng. Portable, with no capture library: the whole file is read and
// checked before any packet is handed out.
#ifndef CAPTURE_CAPTURE_FILE_H_
#define CAPTURE_CAPTURE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One packet as captured, its bytes in the file's buffer.
struct CapturedPacket {
  uint32_t link_type;       // LINKTYPE_ number: 1 Ethernet, 113 and 276 Linux cooked, 0 loopback, 101 raw IP, ...
  int64_t time;             // nanoseconds from an arbitrary start; kNoTime if the capture gives none
  size_t offset;            // of its first byte in the file
  size_t captured_length;   // bytes in the file
  size_t original_length;   // bytes on the wire
};

const int64_t kNoTime = INT64_MIN;

// Why a file cannot be read: the byte offset where it goes wrong, and what.
struct CaptureError {
  size_t offset;
  std::string what;
};

// Reads every packet of `file` (its whole contents). False with `*error`
// if it is not a capture file or is damaged; `*packets` then holds nothing.
bool ReadCapturePackets(const std::vector<unsigned char>& file, std::vector<CapturedPacket>* packets,
                        CaptureError* error);

// Reads the file at `path` whole. False with `*why` if it cannot be read.
bool ReadWholeCaptureFile(const std::string& path, std::vector<unsigned char>* file, std::string* why);

#endif  // CAPTURE_CAPTURE_FILE_H_
