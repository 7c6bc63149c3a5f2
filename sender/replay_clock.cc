#include "sender/replay_clock.h"

namespace {

// a + b, or the largest due time there is: a replay of many long pauses
// never wraps.
int64_t SaturatingAdd(int64_t a, int64_t b) { return a > INT64_MAX - b ? INT64_MAX : a + b; }

}  // namespace

int64_t ReplayClock::Next(const CaptureTime& time) {
  ++telegrams_;
  // A telegram the capture gives no time goes with the one before it; one
  // earlier than the latest so far goes right after the one before it.
  if (time.known && !latest_.known) {
    latest_ = time;
  } else if (time.known) {
    bool beyond = false;
    const int64_t gap = TimeBetween(latest_, time, max_gap_, &beyond);
    if (beyond) {
      ++long_pauses_;
      const double pause = SecondsBetween(latest_, time);
      if (pause > longest_pause_) {
        longest_pause_ = pause;
        longest_pause_before_ = telegrams_;
      }
    }
    if (gap > 0) {
      due_ = SaturatingAdd(due_, gap);
      latest_ = time;
    }
  }
  return due_;
}
