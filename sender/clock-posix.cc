// The sender's clock on POSIX: CLOCK_MONOTONIC and an absolute sleep, which
// keeps the rate without drift and to within microseconds.
#include "sender/clock.h"

#include <time.h>

#include <cerrno>

int64_t MonotonicNanoseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void SleepUntil(int64_t deadline) {
  timespec at;
  at.tv_sec = static_cast<time_t>(deadline / 1000000000);
  at.tv_nsec = static_cast<long>(deadline % 1000000000);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
}
