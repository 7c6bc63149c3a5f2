// The C interface's receiver: a handle over UdpReceiver.
#include <memory>

#include "library/handle_open.h"
#include "library/struct_layout.h"
#include "library/udp_receiver.h"
#include "tgr/tgr.h"

struct tgr_receiver {
  tgr::UdpReceiver receiver;
};

extern "C" {

int tgr_receiver_open_with(const char* address, uint16_t port, const tgr_receiver_options* options,
                           tgr_receiver** receiver, char* error, size_t error_size) {
  if (options != nullptr && !tgr::Sized(options)) return TGR_E_ARGUMENT;
  const int buffer_bytes = options != nullptr ? options->buffer_bytes : 0;
  const char* interface_name = options != nullptr ? options->interface_name : nullptr;
  return tgr::OpenHandle(receiver, error, error_size,
                         [&](std::unique_ptr<tgr_receiver>* made, tgr::OpenFailure* failure) {
                           *made = std::make_unique<tgr_receiver>();
                           tgr::UdpReceiver& r = (*made)->receiver;
                           const int code = r.Open(address != nullptr ? address : "", port, buffer_bytes,
                                                   interface_name != nullptr ? interface_name : "");
                           if (code != TGR_OK) *failure = tgr::OpenFailure{r.error(), r.os_error()};
                           return code;
                         });
}

int tgr_receiver_open(const char* address, uint16_t port, int buffer_bytes, tgr_receiver** receiver, char* error,
                      size_t error_size) {
  tgr_receiver_options options = tgr::Blank<tgr_receiver_options>();
  options.buffer_bytes = buffer_bytes;
  return tgr_receiver_open_with(address, port, &options, receiver, error, error_size);
}

int tgr_receiver_close(tgr_receiver* receiver, char* error, size_t error_size) {
  return tgr::CloseHandle(receiver, error, error_size);
}

uint16_t tgr_receiver_port(const tgr_receiver* receiver) { return receiver != nullptr ? receiver->receiver.port() : 0; }

int tgr_receiver_multicast(const tgr_receiver* receiver) {
  return receiver != nullptr && receiver->receiver.multicast() ? 1 : 0;
}

int tgr_receiver_next(tgr_receiver* receiver, int timeout_ms, void* buffer, size_t capacity, tgr_datagram* datagram) {
  if (receiver == nullptr || buffer == nullptr || !tgr::Sized(datagram)) return TGR_E_ARGUMENT;
  tgr_datagram taken = tgr::Blank<tgr_datagram>();
  const int result = tgr::Guarded(
      [&] { return receiver->receiver.Next(timeout_ms, static_cast<unsigned char*>(buffer), capacity, &taken); });
  if (result == TGR_OK) tgr::Fill(datagram, taken);
  return tgr::WithErrno(result, receiver->receiver.os_error());
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
