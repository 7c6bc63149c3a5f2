// A packet's time as a capture gives it: whole seconds and nanoseconds
// apart, as libpcap keeps them, so that no timestamp a file can hold
// overflows, however far from the others it lies.
#ifndef CAPTURE_CAPTURE_TIME_H_
#define CAPTURE_CAPTURE_TIME_H_

#include <cstdint>

struct CaptureTime {
  bool known;            // false for a packet the capture gives no time (a simple packet block)
  uint64_t seconds;      // since an arbitrary start
  uint32_t nanoseconds;  // below 10^9
};

const uint32_t kNanosecondsPerSecond = 1000000000;

// How much later `to` is than `from`, in nanoseconds: 0 if it is not later,
// and `most` if it is later by more than that (`*beyond` then says so).
// A `most` beyond what int64_t nanoseconds hold (some 292 years) is taken
// as that.
int64_t TimeBetween(const CaptureTime& from, const CaptureTime& to, int64_t most, bool* beyond);

// The same in seconds, for words: as far as a double holds it.
double SecondsBetween(const CaptureTime& from, const CaptureTime& to);

#endif  // CAPTURE_CAPTURE_TIME_H_
