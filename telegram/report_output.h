// The text of the report on its way to standard output.
//
// Report lines and block values are formatted into one buffer allocated at
// start-up and handed to the stream with fwrite: a 65,507-byte block holds
// 32,743 values, and one printf call per value costs more CPU than the
// scanner leaves between telegrams. The bytes are exactly those printf would
// have written; the stream keeps its own mode (text mode on Windows).
#ifndef TELEGRAM_REPORT_OUTPUT_H_
#define TELEGRAM_REPORT_OUTPUT_H_

#include <cstddef>
#include <cstdio>

struct ReportOutput {
  char* data;
  size_t capacity;
  size_t used;
  FILE* stream;
};

// Room for the longest line any report formats in one piece.
const size_t kLongestLine = 128;

// Allocates the buffer; false if it cannot be had. `capacity` must be at
// least kLongestLine.
bool OpenReportOutput(ReportOutput* out, FILE* stream, size_t capacity);
void CloseReportOutput(ReportOutput* out);

// Hands everything formatted so far to the stream (no fflush).
void DrainReportOutput(ReportOutput* out);

// Appends a NUL-terminated literal.
void OutputText(ReportOutput* out, const char* text);

// Appends text formatted as printf would format it.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void OutputFormat(ReportOutput* out, const char* format, ...);

// Makes room for at least `bytes` more; drains the buffer if needed.
inline void ReserveReportOutput(ReportOutput* out, size_t bytes) {
  if (out->capacity - out->used < bytes) DrainReportOutput(out);
}

#endif  // TELEGRAM_REPORT_OUTPUT_H_
