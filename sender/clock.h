// The sender's clock, for sending at a steady rate. One implementation per
// platform (clock-posix.cc, clock-win32.cc); the build picks one.
#ifndef SENDER_CLOCK_H_
#define SENDER_CLOCK_H_

#include <cstdint>

// Nanoseconds on a clock that never goes back, from an arbitrary start.
int64_t MonotonicNanoseconds();

// Returns once MonotonicNanoseconds() has reached `deadline`.
void SleepUntil(int64_t deadline);

#endif  // SENDER_CLOCK_H_
