// A wait for the next datagram on one socket, with a time-out, that another
// thread can end. One implementation per platform (socket_wait-posix.cc:
// poll(2) on the socket and an eventfd; socket_wait-win32.cc: the socket's
// event and one of its own); the build picks one.
#ifndef NET_SOCKET_WAIT_H_
#define NET_SOCKET_WAIT_H_

#include <atomic>
#include <cstdint>

#include "net/socket.h"

enum SocketWaitResult {
  kSocketReadable,  // a datagram is waiting (or the socket has an error to tell)
  kSocketTimedOut,
  kSocketWaitCancelled,
};

// Owns what the wait needs besides the socket, which must outlive it.
class SocketWait {
 public:
  SocketWait() = default;
  ~SocketWait();
  SocketWait(const SocketWait&) = delete;
  SocketWait& operator=(const SocketWait&) = delete;

  // 0, or the error code.
  int Open(NetSocket sock);

  // Waits up to `timeout_ms` (negative: without end) for a datagram on the
  // socket. 0 with the result in `*result`, or the error code.
  int Wait(int timeout_ms, SocketWaitResult* result);

  // From any thread: the wait under way ends, and every one after it, at
  // once, with kSocketWaitCancelled.
  void Cancel();

 private:
  NetSocket sock_ = 0;
  bool open_ = false;
  std::atomic<bool> cancelled_{false};
  // The platform's own: an eventfd; or the event Cancel sets and the
  // socket's event.
  std::uintptr_t handles_[2] = {0, 0};
};

#endif  // NET_SOCKET_WAIT_H_
