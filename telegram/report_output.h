// The text of the report on its way to its destination.
//
// Report lines and block values are formatted into one buffer allocated at
// start-up and handed on in large writes: a 65,507-byte block holds 32,743
// values, and one printf call per value costs more CPU than the scanner
// leaves between telegrams. The bytes are exactly those printf would have
// written.
//
// The first write that fails is kept in `failure`, and from then on nothing
// more is written, so that what reached the destination is an exact prefix
// of the report, never one with a hole in it.
#ifndef TELEGRAM_REPORT_OUTPUT_H_
#define TELEGRAM_REPORT_OUTPUT_H_

#include <cstddef>
#include <cstdio>

// Hands all `size` bytes to `destination`. 0, or the errno value of a
// failure.
typedef int (*ReportWriter)(void* destination, const char* data, size_t size);

struct ReportOutput {
  char* data;
  size_t capacity;
  size_t used;
  ReportWriter write;
  void* destination;
  int failure;  // the errno value of the first failed write, or 0
  // Write each "\n" of a line as "\r\n", as a Windows text stream does, so
  // that the stream itself can be binary and take each drain in one write.
  // Block values hold no line feed, so only OutputText and OutputFormat
  // translate.
  bool crlf_line_ends;
};

// Room for the longest line any report formats in one piece.
const size_t kLongestLine = 128;

// Allocates the buffer; false if it cannot be had. Lines keep their "\n"
// until crlf_line_ends is set.
bool OpenReportOutput(ReportOutput* out, size_t capacity, ReportWriter write, void* destination);
void CloseReportOutput(ReportOutput* out);

// A ReportWriter for a FILE*, through fwrite.
int WriteToFile(void* file, const char* data, size_t size);

// Hands everything formatted so far to the destination (no fflush).
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
