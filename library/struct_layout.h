// The structs of the C interface carry the size the caller was built with
// (struct_size): the library reads and fills no more than that, so that a
// later version can add fields at their end. Each struct's first layout is
// the one of version 1.0; a caller's struct_size may not be smaller.
#ifndef LIBRARY_STRUCT_LAYOUT_H_
#define LIBRARY_STRUCT_LAYOUT_H_

#include <cstddef>
#include <cstring>

#include "tgr/tgr.h"

namespace tgr {

// The size of a struct's first layout. When a field is added to a struct,
// its entry here keeps the size it had before.
template <typename T>
constexpr size_t FirstLayoutSize() {
  return sizeof(T);
}

// Whether `s` is a struct the caller has sized for at least the first layout.
template <typename T>
bool Sized(const T* s) {
  return s != nullptr && s->struct_size >= FirstLayoutSize<T>();
}

// Fills the caller's `*out` with `value` as far as its struct_size goes;
// what lies beyond the fields this version knows is zeroed.
template <typename T>
void Fill(T* out, const T& value) {
  const size_t size = out->struct_size;
  unsigned char* to = reinterpret_cast<unsigned char*>(out);
  memcpy(to, &value, size < sizeof(T) ? size : sizeof(T));
  out->struct_size = size;
  if (size > sizeof(T)) memset(to + sizeof(T), 0, size - sizeof(T));
}

// A value of the struct with its own size set, to fill and hand on.
template <typename T>
T Blank() {
  T value = {};
  value.struct_size = sizeof(T);
  return value;
}

}  // namespace tgr

#endif  // LIBRARY_STRUCT_LAYOUT_H_
