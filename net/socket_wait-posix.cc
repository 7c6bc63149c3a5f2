// The wait for a datagram on Linux: poll(2) on the socket and on an eventfd
// that Cancel writes to.
#include "net/socket_wait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace {

int64_t MonotonicMs() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

SocketWait::~SocketWait() {
  if (open_) close(static_cast<int>(handles_[0]));
}

int SocketWait::Open(NetSocket sock) {
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return NetErrorCode(errno);
  sock_ = sock;
  handles_[0] = static_cast<std::uintptr_t>(fd);
  open_ = true;
  return 0;
}

int SocketWait::Wait(int timeout_ms, SocketWaitResult* result) {
  const int64_t deadline = timeout_ms >= 0 ? MonotonicMs() + timeout_ms : 0;
  for (;;) {
    if (cancelled_.load()) {
      *result = kSocketWaitCancelled;
      return 0;
    }
    int wait_ms = -1;
    if (timeout_ms >= 0) {
      const int64_t left = deadline - MonotonicMs();
      wait_ms = left > 0 ? static_cast<int>(left) : 0;
    }
    pollfd entries[2] = {{static_cast<int>(sock_), POLLIN, 0}, {static_cast<int>(handles_[0]), POLLIN, 0}};
    const int ready = poll(entries, 2, wait_ms);
    if (ready < 0) {
      // A signal is no failure of the wait: it goes on, for what is left.
      if (errno == EINTR) continue;
      return NetErrorCode(errno);
    }
    if (cancelled_.load()) {
      *result = kSocketWaitCancelled;
      return 0;
    }
    if (ready > 0 && entries[0].revents != 0) {
      *result = kSocketReadable;
      return 0;
    }
    if (wait_ms == 0 || (timeout_ms >= 0 && MonotonicMs() >= deadline)) {
      *result = kSocketTimedOut;
      return 0;
    }
  }
}

void SocketWait::Cancel() {
  cancelled_.store(true);
  if (!open_) return;
  const uint64_t one = 1;
  // A full counter already wakes every wait; nothing more is needed then.
  (void)!write(static_cast<int>(handles_[0]), &one, sizeof one);
}
