// The C interface's recorder: a handle over PcapngWriter.
#include <memory>
#include <string>

#include "capture/pcapng_writer.h"
#include "library/handle_open.h"
#include "library/struct_layout.h"
#include "tgr/tgr.h"

struct tgr_recorder {
  PcapngWriter writer;
  std::string error;
};

extern "C" {

int tgr_recorder_open(const char* path, tgr_recorder** recorder, char* error, size_t error_size) {
  return tgr::OpenHandle(recorder, error, error_size,
                         [&](std::unique_ptr<tgr_recorder>* made, tgr::OpenFailure* failure) {
                           if (path == nullptr) {
                             failure->words = "no file named for the recording";
                             return TGR_E_ARGUMENT;
                           }
                           *made = std::make_unique<tgr_recorder>();
                           tgr_recorder& r = **made;
                           if (r.writer.Open(path, std::string("tgr ") + tgr_version(), &r.error)) return TGR_OK;
                           *failure = tgr::OpenFailure{r.error, r.writer.os_error()};
                           return TGR_E_FILE;
                         });
}

int tgr_recorder_write(tgr_recorder* recorder, const tgr_datagram* datagram, const void* bytes, size_t size,
                       uint32_t destination_address, uint16_t destination_port) {
  if (recorder == nullptr || !tgr::Sized(datagram) || (bytes == nullptr && size != 0)) return TGR_E_ARGUMENT;
  // What no packet can hold is refused before the file is touched.
  if (size > kMostRecordedPayload) {
    recorder->error = "a datagram of " + std::to_string(size) + " bytes: UDP over IPv4 carries " +
                      std::to_string(kMostRecordedPayload) + " at most";
    return TGR_E_ARGUMENT;
  }
  if (datagram->time_ns < 0) {
    recorder->error = "a datagram received before 1970 cannot be recorded";
    return TGR_E_ARGUMENT;
  }
  const UdpEnds ends{datagram->source_address, datagram->source_port, destination_address, destination_port};
  const int result = tgr::Guarded([&] {
    return recorder->writer.Write(datagram->time_ns, ends, static_cast<const unsigned char*>(bytes), size,
                                  &recorder->error)
               ? TGR_OK
               : TGR_E_FILE;
  });
  return tgr::WithErrno(result, recorder->writer.os_error());
}

uint64_t tgr_recorder_packets(const tgr_recorder* recorder) {
  return recorder != nullptr ? recorder->writer.packets() : 0;
}

uint64_t tgr_recorder_bytes(const tgr_recorder* recorder) { return recorder != nullptr ? recorder->writer.bytes() : 0; }

int tgr_recorder_close(tgr_recorder* recorder, char* error, size_t error_size) {
  if (recorder == nullptr) return tgr::CloseHandle(recorder, error, error_size);
  const int result = tgr::Guarded([&] {
    std::string words;
    const bool closed = recorder->writer.Close(&words);
    tgr::CopyWords(words, error, error_size);
    return closed ? TGR_OK : TGR_E_FILE;
  });
  if (result == TGR_E_MEMORY) tgr::CopyWords(tgr::kNoMemoryWords, error, error_size);
  const int os_error = recorder->writer.os_error();
  delete recorder;
  return tgr::WithErrno(result, os_error);
}

const char* tgr_recorder_error(const tgr_recorder* recorder) {
  return recorder != nullptr ? recorder->error.c_str() : "no recorder";
}

}  // extern "C"
