// The C interface's capture reader: a handle over the replay's own reader,
// CaptureReader and UdpDatagramReader, on a file read as it goes.
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <system_error>

#include "capture/byte_source.h"
#include "capture/capture_file.h"
#include "capture/udp_datagrams.h"
#include "library/handle_open.h"
#include "library/struct_layout.h"
#include "tgr/tgr.h"

struct tgr_capture {
  explicit tgr_capture(uint16_t port) : reader(&file), datagrams(port) {}
  FileSource file;  // before the reader, which reads it
  CaptureReader reader;
  UdpDatagramReader datagrams;
  bool finished = false;  // the datagrams pending at the end are counted
  bool broken = false;    // memory ran out inside the reading: its state is unsure
  CaptureTime time = {false, 0, 0};  // of the datagram given last
  std::string error;      // how the packets ended, in words with the byte
};

namespace {

// A capture's time as ns since 1970, or -1 if it has none or it is beyond
// what 64 bits of nanoseconds hold.
int64_t TimeNs(const CaptureTime& time) {
  const uint64_t most_seconds = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) / 1000000000ULL - 1;
  if (!time.known || time.seconds > most_seconds) return -1;
  return static_cast<int64_t>(time.seconds * 1000000000ULL + time.nanoseconds);
}

// How the packets ended, with the byte where: the words tgr_capture_error
// gives, and the sender's.
std::string EndWords(const CaptureReader& reader) {
  const std::string at = std::to_string(reader.end_offset());
  switch (reader.end()) {
    case kCaptureCutShort: return "cut short at byte " + at + " (" + reader.end_words() + ")";
    case kCaptureDamaged: return reader.end_words() + " (at byte " + at + ")";
    default: return "";
  }
}

// What a path is, if it is no file a capture can be read from: a capture
// is read as it goes, and a pipe or a device would hold the open up or
// give its bytes once. Empty for a regular file, or one that is not there
// (which the open says).
std::string NotAFile(const char* path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  switch (status.type()) {
    case std::filesystem::file_type::directory: return "a directory";
    case std::filesystem::file_type::fifo: return "a pipe (save the capture to a file first)";
    case std::filesystem::file_type::socket: return "a socket";
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::character: return "a device";
    default: return "";
  }
}

}  // namespace

extern "C" {

int tgr_capture_open(const char* path, uint16_t port, tgr_capture** capture, char* error, size_t error_size) {
  return tgr::OpenHandle(capture, error, error_size,
                         [&](std::unique_ptr<tgr_capture>* made, tgr::OpenFailure* failure) {
                           if (path == nullptr) {
                             failure->words = "no file named for the capture";
                             return TGR_E_ARGUMENT;
                           }
                           const std::string other = NotAFile(path);
                           if (!other.empty()) {
                             failure->words = std::string(path) + ": not a capture file: " + other;
                             return TGR_E_DAMAGED;
                           }
                           *made = std::make_unique<tgr_capture>(port);
                           tgr_capture& c = **made;
                           std::string err;
                           if (!c.file.Open(path, &err)) {
                             *failure = tgr::OpenFailure{"cannot read the capture " + std::string(path) + ": " + err,
                                                         c.file.os_error()};
                             return TGR_E_FILE;
                           }
                           // The file's header is read now, so that what is
                           // no capture is said at once.
                           if (!c.reader.Begin() && c.reader.end() == kCaptureDamaged) {
                             failure->words = std::string(path) + ": " + EndWords(c.reader);
                             return TGR_E_DAMAGED;
                           }
                           c.error = EndWords(c.reader);
                           return TGR_OK;
                         });
}

int tgr_capture_next(tgr_capture* capture, const void** bytes, tgr_datagram* datagram) {
  if (capture == nullptr || bytes == nullptr || !tgr::Sized(datagram)) return TGR_E_ARGUMENT;
  if (capture->broken) return TGR_E_MEMORY;
  const int result = tgr::Guarded([&] {
    CapturedPacket packet;
    capture->time = CaptureTime{false, 0, 0};
    while (!capture->finished && capture->reader.Next(&packet)) {
      CapturedDatagram taken;
      if (!capture->datagrams.Take(packet, &taken)) continue;
      *bytes = taken.payload;
      capture->time = taken.time;
      tgr_datagram d = tgr::Blank<tgr_datagram>();
      d.size = taken.size;
      d.time_ns = TimeNs(taken.time);
      d.source_address = taken.source_address;
      d.source_port = taken.source_port;
      tgr::Fill(datagram, d);
      return TGR_OK;
    }
    if (!capture->finished) {
      // Datagrams whose fragments never all came are counted now.
      capture->datagrams.Finish();
      capture->finished = true;
      capture->error = EndWords(capture->reader);
    }
    return TGR_E_END;
  });
  capture->broken = result == TGR_E_MEMORY;
  return result;
}

int tgr_capture_time(const tgr_capture* capture, uint64_t* seconds, uint32_t* nanoseconds) {
  if (capture == nullptr || seconds == nullptr || nanoseconds == nullptr) return TGR_E_ARGUMENT;
  if (!capture->time.known) return TGR_E_END;
  *seconds = capture->time.seconds;
  *nanoseconds = capture->time.nanoseconds;
  return TGR_OK;
}

int tgr_capture_summary_get(const tgr_capture* capture, tgr_capture_summary* summary) {
  if (capture == nullptr || !tgr::Sized(summary)) return TGR_E_ARGUMENT;
  const DatagramTally& tally = capture->datagrams.tally();
  tgr_capture_summary s = tgr::Blank<tgr_capture_summary>();
  switch (capture->reader.end()) {
    case kCaptureReading: s.end = TGR_CAPTURE_READING; break;
    case kCaptureWhole: s.end = TGR_CAPTURE_WHOLE; break;
    case kCaptureCutShort: s.end = TGR_CAPTURE_CUT_SHORT; break;
    case kCaptureDamaged: s.end = TGR_CAPTURE_DAMAGED; break;
  }
  s.end_offset = capture->reader.end_offset();
  s.packets = capture->reader.packets();
  s.taken = static_cast<uint64_t>(tally.taken);
  s.not_udp = static_cast<uint64_t>(tally.not_udp);
  s.other_port = static_cast<uint64_t>(tally.other_port);
  s.incomplete = static_cast<uint64_t>(tally.incomplete);
  s.cut_short = static_cast<uint64_t>(tally.cut_short);
  s.conflicting = static_cast<uint64_t>(tally.conflicting);
  s.first_other_port = tally.first_other_port;
  tgr::Fill(summary, s);
  return TGR_OK;
}

const char* tgr_capture_error(const tgr_capture* capture) {
  return capture != nullptr ? capture->error.c_str() : "no capture";
}

int tgr_capture_close(tgr_capture* capture, char* error, size_t error_size) {
  return tgr::CloseHandle(capture, error, error_size);
}

}  // extern "C"
