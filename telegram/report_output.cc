#include "telegram/report_output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Hands text to the destination straight away, after what is buffered.
void WriteThrough(ReportOutput* out, const char* text, size_t length) {
  DrainReportOutput(out);
  if (out->failure == 0) out->failure = out->write(out->destination, text, length);
}

void Append(ReportOutput* out, const char* text, size_t length) {
  size_t room = 0;
  char* at = ReportRoom(out, length, &room);
  if (room < length) {
    WriteThrough(out, text, length);
    return;
  }
  memcpy(at, text, length);
  CommitReportRoom(out, length);
}

// A line, with each "\n" written as "\r\n" where the stream's line ends
// call for it.
void AppendLine(ReportOutput* out, const char* text, size_t length) {
  if (out->line_ends == kLineEndsAsWritten) {
    Append(out, text, length);
    return;
  }
  size_t start = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] != '\n') continue;
    Append(out, text + start, i - start);
    Append(out, "\r\n", 2);
    start = i + 1;
  }
  Append(out, text + start, length - start);
}

}  // namespace

bool OpenReportOutput(ReportOutput* out, size_t capacity, LineEnds line_ends, ReportWriter write,
                      void* destination) {
  out->data = static_cast<char*>(malloc(capacity));
  out->capacity = out->data ? capacity : 0;
  out->used = 0;
  out->write = write;
  out->destination = destination;
  out->failure = 0;
  out->line_ends = line_ends;
  return out->data != nullptr;
}

void CloseReportOutput(ReportOutput* out) {
  free(out->data);
  out->data = nullptr;
  out->capacity = 0;
  out->used = 0;
}

void DrainReportOutput(ReportOutput* out) {
  if (out->used == 0) return;
  if (out->failure == 0) out->failure = out->write(out->destination, out->data, out->used);
  out->used = 0;
}

void OutputText(ReportOutput* out, const char* text) { AppendLine(out, text, strlen(text)); }

void OutputFormat(ReportOutput* out, const char* format, ...) {
  char line[kLongestLine];
  va_list args;
  va_start(args, format);
  const int length = vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (length < 0) return;
  if (static_cast<size_t>(length) < sizeof line) {
    AppendLine(out, line, static_cast<size_t>(length));
    return;
  }
  // Longer than any report line: formatted again at its full length.
  char* long_line = static_cast<char*>(malloc(static_cast<size_t>(length) + 1));
  if (long_line == nullptr) {
    if (out->failure == 0) out->failure = ENOMEM;
    return;
  }
  va_start(args, format);
  vsnprintf(long_line, static_cast<size_t>(length) + 1, format, args);
  va_end(args);
  AppendLine(out, long_line, static_cast<size_t>(length));
  free(long_line);
}
