#include "telegram/report_capture_test_util.h"

#include <cerrno>

int FileDestination::Write(const char* data, size_t size) {
  if (fwrite(data, 1, size, file_) == size) return 0;
  return errno != 0 ? errno : EIO;
}

std::string RenderReport(TelegramFormatter format, const unsigned char* bytes, size_t received, size_t capacity) {
  std::string text;
  StringDestination destination(&text);
  ReportOutput out;
  if (!out.Open(capacity, kLineEndsAsWritten, &destination)) return "<no memory>";
  const Telegram t = {bytes, received};
  format(t, &out);
  out.Drain();
  return text;
}

std::string RenderReport(TelegramFormatter format, const std::vector<unsigned char>& bytes, size_t capacity) {
  return RenderReport(format, bytes.data(), bytes.size(), capacity);
}
