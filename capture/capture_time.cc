#include "capture/capture_time.h"

#include <cstdint>

namespace {

bool Later(const CaptureTime& from, const CaptureTime& to) {
  return to.seconds > from.seconds || (to.seconds == from.seconds && to.nanoseconds > from.nanoseconds);
}

}  // namespace

int64_t TimeBetween(const CaptureTime& from, const CaptureTime& to, int64_t most, bool* beyond) {
  // Room for the product below and a second's nanoseconds on top.
  const int64_t longest = INT64_MAX - 2 * int64_t{kNanosecondsPerSecond};
  if (most > longest) most = longest;
  *beyond = false;
  if (!Later(from, to)) return 0;
  // Whole seconds first, so that nothing is multiplied that might overflow.
  const uint64_t seconds = to.seconds - from.seconds;
  if (seconds > static_cast<uint64_t>(most) / kNanosecondsPerSecond + 1) {
    *beyond = true;
    return most;
  }
  const int64_t gap = static_cast<int64_t>(seconds) * kNanosecondsPerSecond + static_cast<int64_t>(to.nanoseconds) -
                      static_cast<int64_t>(from.nanoseconds);
  if (gap > most) {
    *beyond = true;
    return most;
  }
  return gap;
}

double SecondsBetween(const CaptureTime& from, const CaptureTime& to) {
  if (!Later(from, to)) return 0;
  return static_cast<double>(to.seconds - from.seconds) +
         (static_cast<double>(to.nanoseconds) - static_cast<double>(from.nanoseconds)) / kNanosecondsPerSecond;
}
