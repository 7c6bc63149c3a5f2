// The telegrams on their way from the receiving thread to standard output:
// one ring of bytes, had once, of the size the user allows, so that a slow
// reader of standard output costs memory up to that bound and never holds
// the receiving (or the recording) up. What finds no room is not kept: the
// output skips it, and says so.
#ifndef RECORD_DATAGRAM_QUEUE_H_
#define RECORD_DATAGRAM_QUEUE_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "tgr/tgr.h"

class DatagramQueue {
 public:
  // Each telegram takes its bytes and this much more in the ring.
  static const size_t kOverhead;

  // A ring of `capacity` bytes; false if that memory could not be had.
  bool Allocate(size_t capacity);

  // One producer: copies the datagram in if it finds room; false if not
  // (nothing is kept, and nothing waits).
  bool Push(const tgr_datagram& datagram, const unsigned char* bytes);
  // No more will come: the consumer takes what is left, then ends.
  void Close();

  // One consumer: waits up to `wait` for the oldest datagram; false if none
  // came (or the queue is closed and empty: closed_and_empty() says so).
  // Its bytes stay valid until Release().
  bool Peek(std::chrono::milliseconds wait, tgr_datagram* datagram, const unsigned char** bytes);
  // Lets the oldest go, making its room free.
  void Release();
  bool closed_and_empty();

  // The datagrams waiting, and the bytes they take.
  uint64_t waiting();
  size_t used();
  size_t capacity() const { return capacity_; }

 private:
  struct Header;
  // Where a record of `size` bytes can go, or SIZE_MAX if nowhere now.
  size_t PlaceFor(size_t size) const;

  std::mutex mutex_;
  std::condition_variable arrived_;
  std::unique_ptr<unsigned char[]> ring_;
  size_t capacity_ = 0;
  size_t head_ = 0;  // the oldest record
  size_t tail_ = 0;  // where the next one goes, if there is room after it
  size_t wrap_at_ = 0;  // while the records run past it to the start: where they stop at the end
  uint64_t waiting_ = 0;
  bool closed_ = false;
};

#endif  // RECORD_DATAGRAM_QUEUE_H_
