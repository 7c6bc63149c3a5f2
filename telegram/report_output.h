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
#include <memory>

// Where the report goes: a stream, a file, a string in a test.
class ReportDestination {
 public:
  virtual ~ReportDestination() = default;
  // Hands all `size` bytes on. 0, or the errno value of a failure.
  virtual int Write(const char* data, size_t size) = 0;
};

// How each "\n" of a line reaches the destination: as it is, or as "\r\n",
// as a Windows text stream writes it, so that the stream itself can be
// binary and take each drain in one write. Block values hold no line feed,
// so only Append and AppendFormatted translate.
enum LineEnds { kLineEndsAsWritten, kLineEndsCrlf };

// Room for the longest line any report formats in one piece.
const size_t kLongestLine = 128;

// Owns the buffer; what is still in it at the end is the caller's to drain.
class ReportOutput {
 public:
  ReportOutput() = default;
  ReportOutput(const ReportOutput&) = delete;
  ReportOutput& operator=(const ReportOutput&) = delete;

  // Allocates the buffer, for `destination`, which must outlive the output;
  // false if the buffer cannot be had.
  bool Open(size_t capacity, LineEnds line_ends, ReportDestination* destination);
  // The same over a buffer the caller owns, which must outlive the output.
  void OpenOn(char* buffer, size_t capacity, LineEnds line_ends, ReportDestination* destination);

  // Hands everything formatted so far to the destination (no fflush).
  void Drain();

  // The errno value of the first write that failed, or 0.
  int failure() const { return failure_; }
  // How each "\n" is written: what a formatter writing in place (Room)
  // must write itself.
  LineEnds line_ends() const { return line_ends_; }
  // Bytes formatted and not yet drained.
  size_t used() const { return used_; }

  // Appends a NUL-terminated literal.
  void Append(const char* text);

  // Appends text formatted as printf would format it.
#if defined(__GNUC__)
  __attribute__((format(printf, 2, 3)))
#endif
  void AppendFormatted(const char* format, ...);

  // For a formatter that writes in place: where to write, with at least
  // `at_least` bytes of room (the buffer is drained first if need be), and
  // in `*room` how many there are. Commit then takes what it wrote.
  char* Room(size_t at_least, size_t* room) {
    if (capacity_ - used_ < at_least) Drain();
    *room = capacity_ - used_;
    return buffer_ + used_;
  }
  void Commit(size_t written) { used_ += written; }

 private:
  // Hands text to the destination straight away, after what is buffered.
  void WriteThrough(const char* text, size_t length);
  void AppendBytes(const char* text, size_t length);
  // A line, with each "\n" written as "\r\n" where the line ends call for it.
  void AppendLine(const char* text, size_t length);

  std::unique_ptr<char[]> data_;  // the buffer, if the output owns it
  char* buffer_ = nullptr;
  size_t capacity_ = 0;
  size_t used_ = 0;
  ReportDestination* destination_ = nullptr;
  int failure_ = 0;
  LineEnds line_ends_ = kLineEndsAsWritten;
};

#endif  // TELEGRAM_REPORT_OUTPUT_H_
