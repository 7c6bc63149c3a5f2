// The C interface's capture reader: a handle over the replay's own reader,
// CaptureReader and UdpDatagramReader, on a file read as it goes.
#include <limits>
#include <new>
#include <string>

#include "capture/byte_source.h"
#include "capture/capture_file.h"
#include "capture/udp_datagrams.h"
#include "library/error_words.h"
#include "library/guarded.h"
#include "tgr/tgr.h"

struct tgr_capture {
  explicit tgr_capture(uint16_t port) : reader(&file), datagrams(port) {}
  FileSource file;  // before the reader, which reads it
  CaptureReader reader;
  UdpDatagramReader datagrams;
  bool finished = false;  // the datagrams pending at the end are counted
  bool broken = false;    // memory ran out inside the reading: its state is unsure
  CaptureTime time = {false, 0, 0};  // of the datagram given last
};

namespace {


// A capture's time as ns since 1970, or -1 if it has none or it is beyond
// what 64 bits of nanoseconds hold.
int64_t TimeNs(const CaptureTime& time) {
  const uint64_t most_seconds = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) / 1000000000ULL - 1;
  if (!time.known || time.seconds > most_seconds) return -1;
  return static_cast<int64_t>(time.seconds * 1000000000ULL + time.nanoseconds);
}

}  // namespace

extern "C" {

int tgr_capture_open(const char* path, uint16_t port, tgr_capture** capture, char* error, size_t error_size) {
  if (capture == nullptr || path == nullptr) {
    tgr::CopyWords("no file named, or no place for the capture's handle", error, error_size);
    return TGR_E_ARGUMENT;
  }
  *capture = nullptr;
  tgr_capture* opened = nullptr;
  const int result = tgr::Guarded([&] {
    opened = new tgr_capture(port);
    std::string err;
    if (opened->file.Open(path, &err)) return TGR_OK;
    tgr::CopyWords(std::string("cannot read the capture ") + path + ": " + err, error, error_size);
    return TGR_E_FILE;
  });
  if (result != TGR_OK) {
    if (result == TGR_E_MEMORY) tgr::CopyWords(tgr::kNoMemoryWords, error, error_size);
    delete opened;
    return result;
  }
  *capture = opened;
  tgr::CopyWords("", error, error_size);
  return TGR_OK;
}

int tgr_capture_next(tgr_capture* capture, const void** bytes, tgr_datagram* datagram) {
  if (capture == nullptr || bytes == nullptr || datagram == nullptr) return TGR_E_ARGUMENT;
  if (capture->broken) return TGR_E_MEMORY;
  const int result = tgr::Guarded([&] {
    CapturedPacket packet;
    capture->time = CaptureTime{false, 0, 0};
    while (!capture->finished && capture->reader.Next(&packet)) {
      CapturedDatagram taken;
      if (!capture->datagrams.Take(packet, &taken)) continue;
      *bytes = taken.payload;
      capture->time = taken.time;
      *datagram = tgr_datagram{};
      datagram->size = taken.size;
      datagram->time_ns = TimeNs(taken.time);
      datagram->source_address = taken.source_address;
      datagram->source_port = taken.source_port;
      return TGR_OK;
    }
    if (!capture->finished) {
      // Datagrams whose fragments never all came are counted now.
      capture->datagrams.Finish();
      capture->finished = true;
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
  if (capture == nullptr || summary == nullptr) return TGR_E_ARGUMENT;
  const DatagramTally& tally = capture->datagrams.tally();
  *summary = tgr_capture_summary{};
  switch (capture->reader.end()) {
    case kCaptureReading: summary->end = TGR_CAPTURE_READING; break;
    case kCaptureWhole: summary->end = TGR_CAPTURE_WHOLE; break;
    case kCaptureCutShort: summary->end = TGR_CAPTURE_CUT_SHORT; break;
    case kCaptureDamaged: summary->end = TGR_CAPTURE_DAMAGED; break;
  }
  summary->end_offset = capture->reader.end_offset();
  summary->packets = capture->reader.packets();
  summary->taken = static_cast<uint64_t>(tally.taken);
  summary->not_udp = static_cast<uint64_t>(tally.not_udp);
  summary->other_port = static_cast<uint64_t>(tally.other_port);
  summary->incomplete = static_cast<uint64_t>(tally.incomplete);
  summary->cut_short = static_cast<uint64_t>(tally.cut_short);
  summary->conflicting = static_cast<uint64_t>(tally.conflicting);
  return TGR_OK;
}

const char* tgr_capture_error(const tgr_capture* capture) {
  return capture != nullptr ? capture->reader.end_words().c_str() : "no capture";
}

void tgr_capture_close(tgr_capture* capture) { delete capture; }

}  // extern "C"
