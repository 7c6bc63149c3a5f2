// The time each telegram of a replay is due, from the times its capture
// gives: after the first, each at its distance from the latest before it,
// with any pause longer than a bound shortened to it, and the clock never
// going back.
#ifndef SENDER_REPLAY_CLOCK_H_
#define SENDER_REPLAY_CLOCK_H_

#include <cstdint>

#include "capture/capture_time.h"

class ReplayClock {
 public:
  // `max_gap`: the longest pause kept, in nanoseconds.
  explicit ReplayClock(int64_t max_gap) : max_gap_(max_gap) {}

  // When the next telegram is due, in nanoseconds after the first, given
  // the time it was captured.
  int64_t Next(const CaptureTime& time);

  // Pauses longer than the bound, and the longest of them: its length in
  // seconds, and the telegram it came before (from 1).
  long long_pauses() const { return long_pauses_; }
  double longest_pause() const { return longest_pause_; }
  long longest_pause_before() const { return longest_pause_before_; }

 private:
  int64_t max_gap_;
  long telegrams_ = 0;
  CaptureTime latest_ = {false, 0, 0};  // the latest time of a telegram so far
  int64_t due_ = 0;                     // nanoseconds after the first, at `latest_`
  long long_pauses_ = 0;
  double longest_pause_ = 0;
  long longest_pause_before_ = 0;
};

#endif  // SENDER_REPLAY_CLOCK_H_
