// The one shape of every handle's open and close in the C interface: the
// handle made and opened under the memory guard, its words copied into the
// caller's buffer, freed on failure, handed over on success; errno left as
// the failure's system number.
#ifndef LIBRARY_HANDLE_OPEN_H_
#define LIBRARY_HANDLE_OPEN_H_

#include <cerrno>
#include <memory>
#include <string>

#include "library/error_words.h"
#include "library/guarded.h"
#include "tgr/tgr.h"

namespace tgr {

// What an open's body reports beside its result: its words, and the
// system's error number of a TGR_E_FILE or TGR_E_SOCKET.
struct OpenFailure {
  std::string words;
  int os_error = 0;
};

// Leaves the system's number of a refusal in errno, for the caller.
inline int WithErrno(int result, int os_error) {
  if ((result == TGR_E_FILE || result == TGR_E_SOCKET) && os_error != 0) errno = os_error;
  return result;
}

// `open(std::unique_ptr<Handle>* made, OpenFailure* failure)` makes the
// handle into `*made` and opens it, returning a result code.
template <typename Handle, typename Open>
int OpenHandle(Handle** out, char* error, size_t error_size, Open open) noexcept {
  if (out == nullptr) {
    CopyWords("no place for the handle", error, error_size);
    return TGR_E_ARGUMENT;
  }
  *out = nullptr;
  std::unique_ptr<Handle> made;
  OpenFailure failure;
  const int result = Guarded([&] { return open(&made, &failure); });
  if (result != TGR_OK) {
    made.reset();  // its files and sockets closed before errno is set
    if (result == TGR_E_MEMORY) {
      CopyWords(kNoMemoryWords, error, error_size);
    } else {
      CopyWords(failure.words, error, error_size);
    }
    return WithErrno(result, failure.os_error);
  }
  CopyWords("", error, error_size);
  *out = made.release();
  return TGR_OK;
}

// A close that cannot fail: the handle freed, no words.
template <typename Handle>
int CloseHandle(Handle* handle, char* error, size_t error_size) noexcept {
  delete handle;
  CopyWords("", error, error_size);
  return TGR_OK;
}

}  // namespace tgr

#endif  // LIBRARY_HANDLE_OPEN_H_
