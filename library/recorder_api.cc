// The C interface's recorder: a handle over PcapngWriter.
#include <new>
#include <string>

#include "capture/pcapng_writer.h"
#include "library/error_words.h"
#include "library/guarded.h"
#include "tgr/tgr.h"

struct tgr_recorder {
  PcapngWriter writer;
  std::string error;
};

extern "C" {

int tgr_recorder_open(const char* path, tgr_recorder** recorder, char* error, size_t error_size) {
  if (recorder == nullptr || path == nullptr) {
    tgr::CopyWords("no file named, or no place for the recorder's handle", error, error_size);
    return TGR_E_ARGUMENT;
  }
  *recorder = nullptr;
  tgr_recorder* opened = new (std::nothrow) tgr_recorder();
  if (opened == nullptr) {
    tgr::CopyWords(tgr::kNoMemoryWords, error, error_size);
    return TGR_E_MEMORY;
  }
  const int result = tgr::Guarded([&] {
    if (opened->writer.Open(path, std::string("tgr ") + tgr_version(), &opened->error)) return TGR_OK;
    tgr::CopyWords(opened->error, error, error_size);
    return TGR_E_FILE;
  });
  if (result != TGR_OK) {
    if (result == TGR_E_MEMORY) tgr::CopyWords(tgr::kNoMemoryWords, error, error_size);
    delete opened;
    return result;
  }
  *recorder = opened;
  tgr::CopyWords("", error, error_size);
  return TGR_OK;
}

int tgr_recorder_write(tgr_recorder* recorder, const tgr_datagram* datagram, const void* bytes, size_t size,
                       uint32_t destination_address, uint16_t destination_port) {
  if (recorder == nullptr || datagram == nullptr || (bytes == nullptr && size != 0)) return TGR_E_ARGUMENT;
  const UdpEnds ends{datagram->source_address, datagram->source_port, destination_address, destination_port};
  return tgr::Guarded([&] {
    if (recorder->writer.Write(datagram->time_ns, ends, static_cast<const unsigned char*>(bytes), size,
                               &recorder->error)) {
      return TGR_OK;
    }
    return size > kMostRecordedPayload || datagram->time_ns < 0 ? TGR_E_ARGUMENT : TGR_E_FILE;
  });
}

uint64_t tgr_recorder_packets(const tgr_recorder* recorder) {
  return recorder != nullptr ? recorder->writer.packets() : 0;
}

int tgr_recorder_close(tgr_recorder* recorder, char* error, size_t error_size) {
  if (recorder == nullptr) return TGR_OK;
  const int result = tgr::Guarded([&] {
    std::string words;
    const bool closed = recorder->writer.Close(&words);
    tgr::CopyWords(words, error, error_size);
    return closed ? TGR_OK : TGR_E_FILE;
  });
  if (result == TGR_E_MEMORY) tgr::CopyWords(tgr::kNoMemoryWords, error, error_size);
  delete recorder;
  return result;
}

const char* tgr_recorder_error(const tgr_recorder* recorder) {
  return recorder != nullptr ? recorder->error.c_str() : "no recorder";
}

}  // extern "C"
