// Reports run into memory or a file, for the tests, the fuzzer and the
// benchmark.
#ifndef TELEGRAM_REPORT_CAPTURE_TEST_UTIL_H_
#define TELEGRAM_REPORT_CAPTURE_TEST_UTIL_H_

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "telegram/report_output.h"
#include "telegram/telegram.h"
#include "telegram/telegram_report.h"

// Appends the report to a string.
class StringDestination : public ReportDestination {
 public:
  explicit StringDestination(std::string* text) : text_(text) {}
  int Write(const char* data, size_t size) override {
    text_->append(data, size);
    return 0;
  }

 private:
  std::string* text_;
};

// Writes the report to a stream through fwrite.
class FileDestination : public ReportDestination {
 public:
  explicit FileDestination(FILE* file) : file_(file) {}
  int Write(const char* data, size_t size) override;

 private:
  FILE* file_;
};

// The exact bytes that `format` writes for the first `received` bytes of
// `bytes`. A small capacity makes the report drain its buffer many times.
std::string RenderReport(TelegramFormatter format, const unsigned char* bytes, size_t received,
                         size_t capacity = 4096);
std::string RenderReport(TelegramFormatter format, const std::vector<unsigned char>& bytes, size_t capacity = 4096);

#endif  // TELEGRAM_REPORT_CAPTURE_TEST_UTIL_H_
