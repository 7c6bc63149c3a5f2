#include "telegram/report_output.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

bool OpenReportOutput(ReportOutput* out, FILE* stream, size_t capacity) {
  out->data = static_cast<char*>(malloc(capacity));
  out->capacity = out->data ? capacity : 0;
  out->used = 0;
  out->stream = stream;
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
  // A short write leaves the stream's error flag set; the run reports it at
  // the end rather than stopping the receive.
  fwrite(out->data, 1, out->used, out->stream);
  out->used = 0;
}

void OutputText(ReportOutput* out, const char* text) {
  size_t length = strlen(text);
  if (out->capacity - out->used < length) {
    DrainReportOutput(out);
    if (out->capacity < length) {
      fwrite(text, 1, length, out->stream);
      return;
    }
  }
  memcpy(out->data + out->used, text, length);
  out->used += length;
}

void OutputFormat(ReportOutput* out, const char* format, ...) {
  ReserveReportOutput(out, kLongestLine);
  size_t room = out->capacity - out->used;
  va_list args;
  va_start(args, format);
  int length = vsnprintf(out->data + out->used, room, format, args);
  va_end(args);
  if (length < 0) return;
  if (static_cast<size_t>(length) < room) {
    out->used += static_cast<size_t>(length);
    return;
  }
  // Longer than any report line: let the stream format it after what is
  // already buffered, so the order holds.
  DrainReportOutput(out);
  va_start(args, format);
  vfprintf(out->stream, format, args);
  va_end(args);
}
