// The C interface's bodies that may allocate run through Guarded: memory
// the standard library could not have is TGR_E_MEMORY, never an exception
// thrown through a C caller's frames (which would end the process).
#ifndef LIBRARY_GUARDED_H_
#define LIBRARY_GUARDED_H_

#include <new>

#include "tgr/tgr.h"

namespace tgr {

template <typename Body>
int Guarded(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return TGR_E_MEMORY;
  }
}

}  // namespace tgr

#endif  // LIBRARY_GUARDED_H_
