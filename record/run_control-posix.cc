// Stopping telegram-record on POSIX: SIGINT, SIGTERM and SIGHUP are blocked
// in every thread and taken by one of their own with sigwait, which stops
// the run; so no handler runs inside the library or a write.
#include "record/run_control.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

int RunControl::Start(tgr::Receiver* receiver) {
  receiver_ = receiver;
  // A reader that closes the pipe is a failed write, and a file that may
  // grow no further a failed write too, each said as such: not a signal
  // that ends the run before its files are closed.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  const sigset_t set = StopSignals();
  const int blocked = pthread_sigmask(SIG_BLOCK, &set, nullptr);
  if (blocked != 0) return blocked;
  try {
    signals_ = std::thread([this, set] {
      for (;;) {
        int signal_number = 0;
        if (sigwait(&set, &signal_number) != 0) continue;
        if (ending_.load()) return;
        RequestStop();
      }
    });
  } catch (const std::system_error& failure) {
    return failure.code().value() != 0 ? failure.code().value() : EAGAIN;
  }
  started_ = true;
  return 0;
}

RunControl::~RunControl() {
  if (!started_) return;
  ending_.store(true);
  // One of the signals it waits for, sent to it alone: it takes it and ends.
  pthread_kill(signals_.native_handle(), SIGHUP);
  signals_.join();
}

void RunControl::RequestStop() {
  stop_.store(true);
  if (receiver_ != nullptr) receiver_->Cancel();
}

int WriteStandardOutput(const char* data, size_t size, std::atomic<uint64_t>* written) {
  while (size > 0) {
    const ssize_t n = write(1, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      written->fetch_add(static_cast<uint64_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Standard output was opened anew non-blocking: wait for room.
      pollfd entry = {1, POLLOUT, 0};
      if (poll(&entry, 1, -1) < 0 && errno != EINTR) return errno;
      continue;
    }
    return n < 0 ? errno : EIO;
  }
  return 0;
}

bool StandardErrorIsTerminal() { return isatty(2) != 0; }
