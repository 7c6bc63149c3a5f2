// The wait for a datagram and interrupts on POSIX: SIGINT, SIGTERM and
// SIGHUP.
//
// The handler only records the signal. The three signals stay blocked while
// the program works and are let in only inside ppoll(), atomically with the
// wait, so a signal either ends a wait at once or stays pending until the
// next one: it can never slip in between looking at the flag and going to
// sleep. Once it has come, the loop puts out what it has, and
// EndAsInterrupted() raises the signal again with its default action.
#include "receiver/waits.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t caught = 0;
sigset_t mask_before;                            // the process's own, to give back
struct sigaction actions_before[3];              // those of kSignals, likewise
// After an interrupt, how long a reader may take nothing before the writing
// ends there.
const timespec kReaderGrace = {1, 0};
sigset_t waiting_mask;  // the mask to wait with: the three let in

void Catch(int signal_number) { caught = signal_number; }

}  // namespace

int InterruptWatch::Start() {
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (int signal_number : kSignals) sigaddset(&interrupts, signal_number);
  if (sigprocmask(SIG_BLOCK, &interrupts, &mask_before) != 0) return NetErrorCode(errno);
  waiting_mask = mask_before;
  for (int signal_number : kSignals) sigdelset(&waiting_mask, signal_number);
  struct sigaction action = {};
  action.sa_handler = Catch;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    if (sigaction(kSignals[i], &action, &actions_before[i]) != 0) {
      const int error = NetErrorCode(errno);
      for (size_t j = 0; j < i; ++j) sigaction(kSignals[j], &actions_before[j], nullptr);
      sigprocmask(SIG_SETMASK, &mask_before, nullptr);
      return error;
    }
  }
  started_ = true;
  return 0;
}

InterruptWatch::~InterruptWatch() {
  if (!started_ || caught != 0) return;
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) sigaction(kSignals[i], &actions_before[i], nullptr);
  sigprocmask(SIG_SETMASK, &mask_before, nullptr);
  // The waits let in what the process let in before.
  waiting_mask = mask_before;
}

int WaitForDatagram(NetSocket sock, bool block, DatagramWait* wait) {
  const timespec no_wait = {0, 0};
  for (;;) {
    *wait = kInterrupted;
    if (caught != 0) return 0;
    pollfd entry = {static_cast<int>(sock), POLLIN, 0};
    const int ready = ppoll(&entry, 1, block ? nullptr : &no_wait, &waiting_mask);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return NetErrorCode(errno);
    if (caught != 0) return 0;
    *wait = ready > 0 ? kDatagramWaiting : kNoDatagramWaiting;
    if (ready > 0 || !block) return 0;
  }
}

int WriteReport(FILE* stream, const char* data, size_t size) {
  const int fd = fileno(stream);
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written > 0) {
      data += written;
      size -= static_cast<size_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Full for now: sleep until it has room. Once an interrupt has come,
      // what is left goes out only as long as the reader keeps taking it.
      pollfd entry = {fd, POLLOUT, 0};
      const int ready = ppoll(&entry, 1, caught != 0 ? &kReaderGrace : nullptr, &waiting_mask);
      if (ready < 0 && errno != EINTR) return errno;
      if (ready == 0) return EINTR;
      continue;
    }
    return written < 0 ? errno : EIO;
  }
  return 0;
}

void EndAsInterrupted() {
  const int signal_number = caught;
  signal(signal_number, SIG_DFL);
  sigset_t just_it;
  sigemptyset(&just_it);
  sigaddset(&just_it, signal_number);
  sigprocmask(SIG_UNBLOCK, &just_it, nullptr);
  raise(signal_number);
  // Not reached: the signal ends the process.
  // cppcheck-suppress unreachableCode
  _exit(128 + signal_number);
}
