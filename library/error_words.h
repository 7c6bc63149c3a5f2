// Words into a buffer the caller of the C interface owns: cut to its room,
// always ended, nothing written where it gave none.
#ifndef LIBRARY_ERROR_WORDS_H_
#define LIBRARY_ERROR_WORDS_H_

#include <cstddef>
#include <cstring>
#include <string>

namespace tgr {

// What a call says when memory could not be had.
const char kNoMemoryWords[] = "not enough memory";

inline void CopyWords(const char* words, size_t size, char* error, size_t error_size) {
  if (error == nullptr || error_size == 0) return;
  const size_t n = size < error_size - 1 ? size : error_size - 1;
  memcpy(error, words, n);
  error[n] = '\0';
}

inline void CopyWords(const std::string& words, char* error, size_t error_size) {
  CopyWords(words.data(), words.size(), error, error_size);
}

// A literal's words, with no string made for them.
template <size_t N>
void CopyWords(const char (&words)[N], char* error, size_t error_size) {
  CopyWords(words, N - 1, error, error_size);
}

}  // namespace tgr

#endif  // LIBRARY_ERROR_WORDS_H_
