// The text of the report on its way to its destination.
//
// Report lines and block values are formatted into one buffer allocated at
// start-up and handed on in large writes: a 65,507-byte block holds 32,743
// values, and one printf call per value costs more CPU than the scanner
// leaves between telegrams. The bytes are exactly those printf would have
// written.
//
// The first write that fails is kept, and from then on nothing more is
// written, so that what reached the destination is an exact prefix of the
// report, never one with a hole in it.
#ifndef TELEGRAM_REPORT_OUTPUT_H_
#define TELEGRAM_REPORT_OUTPUT_H_

#include <cstddef>

// Hands all `size` bytes to `destination`. 0, or the errno value of a
// failure.
typedef int (*ReportWriter)(void* destination, const char* data, size_t size);

// How each "\n" of a line reaches the destination: as it is, or as "\r\n",
// as a Windows text stream writes it, so that the stream itself can be
// binary and take each drain in one write. Block values hold no line feed,
// so only OutputText and OutputFormat translate.
enum LineEnds { kLineEndsAsWritten, kLineEndsCrlf };

// The fields are the output's own; use the functions below.
struct ReportOutput {
  char* data;
  size_t capacity;
  size_t used;
  ReportWriter write;
  void* destination;
  int failure;  // the errno value of the first failed write, or 0
  LineEnds line_ends;
};

// Room for the longest line any report formats in one piece.
const size_t kLongestLine = 128;

// Allocates the buffer; false if it cannot be had.
bool OpenReportOutput(ReportOutput* out, size_t capacity, LineEnds line_ends, ReportWriter write,
                      void* destination);
void CloseReportOutput(ReportOutput* out);

// Hands everything formatted so far to the destination (no fflush).
void DrainReportOutput(ReportOutput* out);

// The errno value of the first write that failed, or 0.
inline int ReportOutputFailure(const ReportOutput* out) { return out->failure; }

// Appends a NUL-terminated literal.
void OutputText(ReportOutput* out, const char* text);

// Appends text formatted as printf would format it.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void OutputFormat(ReportOutput* out, const char* format, ...);

// For a formatter that writes in place: where to write, with at least
// `at_least` bytes of room (the buffer is drained first if need be), and in
// `*room` how many there are. CommitReportRoom then takes what it wrote.
inline char* ReportRoom(ReportOutput* out, size_t at_least, size_t* room) {
  if (out->capacity - out->used < at_least) DrainReportOutput(out);
  *room = out->capacity - out->used;
  return out->data + out->used;
}

inline void CommitReportRoom(ReportOutput* out, size_t written) { out->used += written; }

#endif  // TELEGRAM_REPORT_OUTPUT_H_
