#include "record/datagram_queue.h"

#include <cstring>
#include <new>

// A record: its datagram and length, then its bytes, the whole padded to 8
// bytes. The records follow one another from the oldest; when one does not
// fit before the end of the ring, it goes to its start, and the end after
// the last one is left until the oldest get there.
struct DatagramQueue::Header {
  tgr_datagram datagram;
  size_t record_size;
};

namespace {

size_t Padded(size_t size) { return (size + 7) & ~static_cast<size_t>(7); }

}  // namespace

const size_t DatagramQueue::kOverhead = Padded(sizeof(DatagramQueue::Header)) + 7;

bool DatagramQueue::Allocate(size_t capacity) {
  ring_.reset(new (std::nothrow) unsigned char[capacity]);
  capacity_ = ring_ ? capacity : 0;
  return static_cast<bool>(ring_);
}

size_t DatagramQueue::PlaceFor(size_t size) const {
  if (waiting_ == 0) return size <= capacity_ ? 0 : SIZE_MAX;
  if (wrap_at_ == 0) {
    // The records lie from head_ to tail_: room after them, or at the start.
    if (capacity_ - tail_ >= size) return tail_;
    return head_ >= size ? 0 : SIZE_MAX;
  }
  // They run from head_ to wrap_at_, then from the start to tail_.
  return head_ - tail_ >= size ? tail_ : SIZE_MAX;
}

bool DatagramQueue::Push(const tgr_datagram& datagram, const unsigned char* bytes) {
  const size_t record = Padded(sizeof(Header) + datagram.size);
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t at = PlaceFor(record);
  if (at == SIZE_MAX || closed_) return false;
  if (waiting_ == 0) {
    head_ = 0;
    wrap_at_ = 0;
  } else if (at == 0 && wrap_at_ == 0) {
    wrap_at_ = tail_;
  }
  const Header header{datagram, record};
  memcpy(ring_.get() + at, &header, sizeof header);
  if (datagram.size > 0) memcpy(ring_.get() + at + sizeof header, bytes, datagram.size);
  tail_ = at + record;
  ++waiting_;
  arrived_.notify_one();
  return true;
}

void DatagramQueue::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  arrived_.notify_all();
}

bool DatagramQueue::Peek(std::chrono::milliseconds wait, tgr_datagram* datagram, const unsigned char** bytes) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!arrived_.wait_for(lock, wait, [this] { return waiting_ > 0 || closed_; }) || waiting_ == 0) return false;
  Header header;
  memcpy(&header, ring_.get() + head_, sizeof header);
  *datagram = header.datagram;
  *bytes = ring_.get() + head_ + sizeof header;
  return true;
}

void DatagramQueue::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (waiting_ == 0) return;
  Header header;
  memcpy(&header, ring_.get() + head_, sizeof header);
  head_ += header.record_size;
  --waiting_;
  if (waiting_ == 0) {
    head_ = tail_ = wrap_at_ = 0;
  } else if (wrap_at_ != 0 && head_ == wrap_at_) {
    head_ = 0;
    wrap_at_ = 0;
  }
}

bool DatagramQueue::closed_and_empty() {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_ && waiting_ == 0;
}

uint64_t DatagramQueue::waiting() {
  std::lock_guard<std::mutex> lock(mutex_);
  return waiting_;
}

size_t DatagramQueue::used() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (waiting_ == 0) return 0;
  return wrap_at_ == 0 ? tail_ - head_ : wrap_at_ - head_ + tail_;
}
