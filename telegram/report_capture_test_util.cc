#include "telegram/report_capture_test_util.h"

#include <cerrno>
#include <cstdio>

int WriteToString(void* destination, const char* data, size_t size) {
  static_cast<std::string*>(destination)->append(data, size);
  return 0;
}

int WriteToFile(void* destination, const char* data, size_t size) {
  if (fwrite(data, 1, size, static_cast<FILE*>(destination)) == size) return 0;
  return errno != 0 ? errno : EIO;
}

std::string RenderReport(ReportFunction report, const unsigned char* bytes, size_t received, size_t capacity) {
  std::string text;
  ReportOutput out = {};
  if (!OpenReportOutput(&out, capacity, kLineEndsAsWritten, WriteToString, &text)) return "<no memory>";
  const Telegram t = {bytes, received};
  report(t, &out);
  DrainReportOutput(&out);
  CloseReportOutput(&out);
  return text;
}

std::string RenderReport(ReportFunction report, const std::vector<unsigned char>& bytes, size_t capacity) {
  return RenderReport(report, bytes.data(), bytes.size(), capacity);
}
