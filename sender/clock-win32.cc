// The sender's clock on Windows: the performance counter. Sleep() is only
// good to a millisecond or more, and the scanner's blocks come every few
// hundred microseconds, so the last two milliseconds of a wait yield the
// processor in a loop instead of sleeping.
#include "sender/clock.h"

#include <windows.h>

namespace {

int64_t CounterFrequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

}  // namespace

int64_t MonotonicNanoseconds() {
  static const int64_t frequency = CounterFrequency();
  LARGE_INTEGER count;
  QueryPerformanceCounter(&count);
  // Whole seconds and the rest apart, so that the product cannot overflow.
  const int64_t seconds = count.QuadPart / frequency;
  const int64_t rest = count.QuadPart % frequency;
  return seconds * 1000000000 + rest * 1000000000 / frequency;
}

void SleepUntil(int64_t deadline) {
  const int64_t kSpin = 2000000;  // ns
  for (;;) {
    const int64_t left = deadline - MonotonicNanoseconds();
    if (left <= 0) return;
    if (left > kSpin) {
      Sleep(static_cast<DWORD>((left - kSpin) / 1000000 + 1));
    } else {
      SwitchToThread();
    }
  }
}
