// An allocator whose containers grow without value-initializing what they
// add (a default-initialized unsigned char is left as it was): for buffers
// that are read into at once, where zeroing first only costs time.
#ifndef CAPTURE_UNINITIALIZED_ALLOCATOR_H_
#define CAPTURE_UNINITIALIZED_ALLOCATOR_H_

#include <memory>
#include <new>
#include <utility>

template <typename T>
class UninitializedAllocator : public std::allocator<T> {
 public:
  template <typename U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };

  UninitializedAllocator() = default;
  template <typename U>
  explicit UninitializedAllocator(const UninitializedAllocator<U>& /*other*/) noexcept {}

  // resize() without a value: default-initialized, so left as it is.
  template <typename U>
  void construct(U* at) noexcept {
    ::new (static_cast<void*>(at)) U;
  }
  template <typename U, typename... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};

#endif  // CAPTURE_UNINITIALIZED_ALLOCATOR_H_
