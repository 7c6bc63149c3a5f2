// Reports run into memory or a file, for the tests, the fuzzer and the
// benchmark.
#ifndef TELEGRAM_REPORT_CAPTURE_TEST_UTIL_H_
#define TELEGRAM_REPORT_CAPTURE_TEST_UTIL_H_

#include <cstddef>
#include <string>
#include <vector>

#include "telegram/report_output.h"
#include "telegram/telegram.h"

// ReportWriters: appends to the std::string `destination`; writes to the
// FILE* `destination` through fwrite.
int WriteToString(void* destination, const char* data, size_t size);
int WriteToFile(void* destination, const char* data, size_t size);

typedef void (*ReportFunction)(Telegram, ReportOutput*);

// The exact bytes that `report` writes for the first `received` bytes of
// `bytes`. A small capacity makes the report drain its buffer many times.
std::string RenderReport(ReportFunction report, const unsigned char* bytes, size_t received,
                         size_t capacity = 4096);
std::string RenderReport(ReportFunction report, const std::vector<unsigned char>& bytes, size_t capacity = 4096);

#endif  // TELEGRAM_REPORT_CAPTURE_TEST_UTIL_H_
