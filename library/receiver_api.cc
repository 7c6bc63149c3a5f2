// The C interface's receiver: a handle over UdpReceiver.
#include <new>

#include "library/error_words.h"
#include "library/guarded.h"
#include "library/udp_receiver.h"
#include "tgr/tgr.h"

struct tgr_receiver {
  tgr::UdpReceiver receiver;
};

extern "C" {

int tgr_receiver_open(const char* address, uint16_t port, int buffer_bytes, tgr_receiver** receiver, char* error,
                      size_t error_size) {
  if (receiver == nullptr) {
    tgr::CopyWords("no place for the receiver's handle", error, error_size);
    return TGR_E_ARGUMENT;
  }
  *receiver = nullptr;
  tgr_receiver* opened = new (std::nothrow) tgr_receiver();
  if (opened == nullptr) {
    tgr::CopyWords(tgr::kNoMemoryWords, error, error_size);
    return TGR_E_MEMORY;
  }
  const int result = tgr::Guarded([&] {
    const int code = opened->receiver.Open(address != nullptr ? address : "", port, buffer_bytes);
    if (code != TGR_OK) tgr::CopyWords(opened->receiver.error(), error, error_size);
    return code;
  });
  if (result != TGR_OK) {
    if (result == TGR_E_MEMORY) tgr::CopyWords(tgr::kNoMemoryWords, error, error_size);
    delete opened;
    return result;
  }
  *receiver = opened;
  tgr::CopyWords("", error, error_size);
  return TGR_OK;
}

void tgr_receiver_close(tgr_receiver* receiver) { delete receiver; }

uint16_t tgr_receiver_port(const tgr_receiver* receiver) { return receiver != nullptr ? receiver->receiver.port() : 0; }

int tgr_receiver_next(tgr_receiver* receiver, int timeout_ms, void* buffer, size_t capacity, tgr_datagram* datagram) {
  if (receiver == nullptr || buffer == nullptr || datagram == nullptr) return TGR_E_ARGUMENT;
  return tgr::Guarded(
      [&] { return receiver->receiver.Next(timeout_ms, static_cast<unsigned char*>(buffer), capacity, datagram); });
}

int tgr_receiver_cancel(tgr_receiver* receiver) {
  if (receiver == nullptr) return TGR_E_ARGUMENT;
  receiver->receiver.Cancel();
  return TGR_OK;
}

int tgr_receiver_drops(tgr_receiver* receiver, uint64_t* dropped, int* system_wide) {
  if (receiver == nullptr || dropped == nullptr || system_wide == nullptr) return TGR_E_ARGUMENT;
  bool whole_system = false;
  const int result = tgr::Guarded([&] { return receiver->receiver.Drops(dropped, &whole_system); });
  *system_wide = whole_system ? 1 : 0;
  return result;
}

uint32_t tgr_receiver_destination(const tgr_receiver* receiver) {
  return receiver != nullptr ? receiver->receiver.destination() : 0;
}

const char* tgr_receiver_error(const tgr_receiver* receiver) {
  return receiver != nullptr ? receiver->receiver.error().c_str() : "no receiver";
}

}  // extern "C"
