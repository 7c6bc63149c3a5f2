// Runs a report into a temporary file and returns the exact bytes written.
#ifndef TELEGRAM_REPORT_TEST_UTIL_H_
#define TELEGRAM_REPORT_TEST_UTIL_H_

#include <cstdio>
#include <string>
#include <vector>

#include "telegram/report_output.h"
#include "telegram/telegram.h"

typedef void (*ReportFunction)(Telegram, ReportOutput*);

// A small capacity makes the report drain its buffer many times over.
inline std::string RenderReport(ReportFunction report, const unsigned char* bytes, size_t received,
                                size_t capacity = 4096) {
  FILE* file = tmpfile();
  if (file == nullptr) return "<no temporary file>";
  ReportOutput out = {};
  if (!OpenReportOutput(&out, capacity, WriteToFile, file)) {
    fclose(file);
    return "<no memory>";
  }
  Telegram t = {bytes, received};
  report(t, &out);
  DrainReportOutput(&out);
  CloseReportOutput(&out);
  std::string text;
  rewind(file);
  char chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  fclose(file);
  return text;
}

inline std::string RenderReport(ReportFunction report, const std::vector<unsigned char>& bytes,
                                size_t capacity = 4096) {
  return RenderReport(report, bytes.data(), bytes.size(), capacity);
}

// Telegram bytes, little-endian, as a test lays them out.
inline void Put16(std::vector<unsigned char>* bytes, size_t offset, unsigned value) {
  if (bytes->size() < offset + 2) bytes->resize(offset + 2);
  (*bytes)[offset] = static_cast<unsigned char>(value);
  (*bytes)[offset + 1] = static_cast<unsigned char>(value >> 8);
}

inline void Put32(std::vector<unsigned char>* bytes, size_t offset, unsigned long value) {
  if (bytes->size() < offset + 4) bytes->resize(offset + 4);
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

#endif  // TELEGRAM_REPORT_TEST_UTIL_H_
