// The report of one datagram worked out the plain way, for tests and the
// fuzzer to compare the program's output with: every field read from the
// datagram alone (0 where it was not wholly received), the beam count in
// exact integers, and the numbers written with std::to_string rather than
// printf. Its texts are spelled out here on purpose, as an independent
// statement of the report.
#ifndef TELEGRAM_REPORT_MODEL_TEST_UTIL_H_
#define TELEGRAM_REPORT_MODEL_TEST_UTIL_H_

#include <cstddef>
#include <cstdint>
#include <string>

// The unsigned little-endian field of `width` bytes at `offset`; 0 if it
// does not lie wholly inside `d`.
uint32_t ModelField(const std::string& d, size_t offset, size_t width);

// The exact ceiling of (stop - start) / step, plus 1; 0 for a step of 0.
long long ModelBeamCount(long long start, long long stop, long long step);

// The type line and the report of datagram `d`, whatever the buffer held
// before.
std::string ModelReport(const std::string& d);

#endif  // TELEGRAM_REPORT_MODEL_TEST_UTIL_H_
