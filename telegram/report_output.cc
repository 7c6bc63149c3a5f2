#include "telegram/report_output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

bool ReportOutput::Open(size_t capacity, LineEnds line_ends, ReportDestination* destination) {
  data_.reset(new (std::nothrow) char[capacity]);
  OpenOn(data_.get(), data_ ? capacity : 0, line_ends, destination);
  return data_ != nullptr;
}

void ReportOutput::OpenOn(char* buffer, size_t capacity, LineEnds line_ends, ReportDestination* destination) {
  buffer_ = buffer;
  capacity_ = capacity;
  used_ = 0;
  destination_ = destination;
  failure_ = 0;
  line_ends_ = line_ends;
}

void ReportOutput::Drain() {
  if (used_ == 0) return;
  if (failure_ == 0) failure_ = destination_->Write(buffer_, used_);
  used_ = 0;
}

void ReportOutput::WriteThrough(const char* text, size_t length) {
  Drain();
  if (failure_ == 0) failure_ = destination_->Write(text, length);
}

void ReportOutput::AppendBytes(const char* text, size_t length) {
  size_t room = 0;
  char* at = Room(length, &room);
  if (room < length) {
    WriteThrough(text, length);
    return;
  }
  memcpy(at, text, length);
  Commit(length);
}

void ReportOutput::AppendLine(const char* text, size_t length) {
  if (line_ends_ == kLineEndsAsWritten) {
    AppendBytes(text, length);
    return;
  }
  size_t start = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] != '\n') continue;
    AppendBytes(text + start, i - start);
    AppendBytes("\r\n", 2);
    start = i + 1;
  }
  AppendBytes(text + start, length - start);
}

void ReportOutput::Append(const char* text) { AppendLine(text, strlen(text)); }

void ReportOutput::AppendFormatted(const char* format, ...) {
  char line[kLongestLine];
  va_list args;
  va_start(args, format);
  const int length = vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (length < 0) return;
  if (static_cast<size_t>(length) < sizeof line) {
    AppendLine(line, static_cast<size_t>(length));
    return;
  }
  // Longer than any report line: formatted again at its full length.
  std::unique_ptr<char[]> long_line(new (std::nothrow) char[static_cast<size_t>(length) + 1]);
  if (!long_line) {
    if (failure_ == 0) failure_ = ENOMEM;
    return;
  }
  va_start(args, format);
  vsnprintf(long_line.get(), static_cast<size_t>(length) + 1, format, args);
  va_end(args);
  AppendLine(long_line.get(), static_cast<size_t>(length));
}
