// Words into a buffer the caller of the C interface owns: cut to its room,
// always ended, nothing written where it gave none.
#ifndef LIBRARY_ERROR_WORDS_H_
#define LIBRARY_ERROR_WORDS_H_

#include <cstddef>
#include <cstring>
#include <string>

namespace tgr {

inline void CopyWords(const std::string& words, char* error, size_t error_size) {
  if (error == nullptr || error_size == 0) return;
  const size_t n = words.size() < error_size - 1 ? words.size() : error_size - 1;
  memcpy(error, words.data(), n);
  error[n] = '\0';
}

}  // namespace tgr

#endif  // LIBRARY_ERROR_WORDS_H_
