// Reading the receiver's report back: its lines, in the order the receiver
// writes them, from bytes that arrive in pieces of any size (a report still
// being written), with Linux line ends or those of the Windows text stream.
// The lines are matched against the formats of report_format.h, so that the
// reading and the writing cannot drift apart.
#ifndef TELEGRAM_REPORT_READER_H_
#define TELEGRAM_REPORT_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A type-6 telegram of block 0 or 1, whose values the report lists.
struct ReportBlock {
  long line;               // the report line of its TotalSize line
  long telegram;           // its place among the report's telegrams, from 1
  long long size;          // TotalSize - 20, as printed
  long long scan_no;       // as printed: negative from 2^31 on
  long block_no;
  std::vector<uint16_t> values;
  bool cut_short;          // the report ends inside its values
  // Read as text (ReportReader::TakeValuesAsText): the values as printed,
  // each followed by its tab, digits cut off at the end of a block the
  // report ends in; `values` is then empty, and `text_values` counts them.
  std::string text;
  size_t text_values;
  // Where its telegram came from ("10.0.0.1:5000"), when the blocks are
  // taken from telegrams themselves; a report does not say: empty.
  std::string source;
};

class ReportReader {
 public:
  ReportReader() = default;

  // Reads `size` more bytes of the report. Each block of values that is
  // complete goes to the end of `*blocks`: once its run of values is over,
  // or as soon as it has every value its TotalSize gives room for. False, for good, once the bytes
  // are not a report: error() then says where and what was expected.
  bool Read(const char* data, size_t size, std::vector<ReportBlock>* blocks);

  // The input has ended. A block whose values were being read goes to
  // `*blocks`, marked cut short if fewer came than its TotalSize gives.
  // False if what came is no report at all (nothing, or not even the
  // banner).
  bool End(std::vector<ReportBlock>* blocks);

  // From now on, a block's values are passed on as printed (ReportBlock's
  // text), found and counted but not made numbers: a run of values costs a
  // pass over its bytes. They are judged as the numbers are: the same
  // report is damaged at the same place, in the same words, either way.
  void TakeValuesAsText() { as_text_ = true; }
  bool values_as_text() const { return as_text_; }

  // Whether the input has begun as a report does: its first line so far is
  // the banner.
  bool started() const { return part_ != kBannerNext; }
  long telegrams() const { return telegrams_; }
  // The last run read ends with its closing lines.
  bool finished() const { return finished_; }
  // "line N: expected ..., found ..."; empty while the input is a report.
  const std::string& error() const { return error_; }
  // The room held for the values of the block being read.
  size_t room_for_values() const { return block_.values.capacity(); }

 private:
  enum Part {
    kBannerNext,       // nothing read yet
    kItemNext,         // a type line, the error line or the closing lines
    kBeamCountNext,    // after a type-1 line
    kBlockLineNext,    // after a type-6 line
    kValuesStartNext,  // the empty line before a block's values
    kInValues,         // a block's values
    kClosingNext,      // after the error line
    kExitNext,         // after the first closing line
    kEnded,            // after the closing lines; another run may follow
  };

  bool Fail(const std::string& expected);
  bool TakeLine();
  bool ReadValues(const char* data, size_t size, size_t* at, std::vector<ReportBlock>* blocks);
  bool ReadValuesText(const char* data, size_t size, size_t* at, std::vector<ReportBlock>* blocks);
  // One value of the text, a byte at a time from data[*at], after the
  // digits the text ends in: `*took` once its tab came. Stops at the end
  // of the data, or at what begins no value (the run's end). False on an
  // error.
  bool ValueByBytes(const char* data, size_t size, size_t* at, bool* took, std::vector<ReportBlock>* blocks);
  // The block being read has every value: it goes out.
  void GiveWholeBlock(std::vector<ReportBlock>* blocks);

  Part part_ = kBannerNext;
  std::string line_;        // the line being read, less its line end
  long line_number_ = 1;    // its number, from 1
  long telegrams_ = 0;      // type lines read
  bool finished_ = false;
  ReportBlock block_ = {0, 0, 0, 0, 0, {}, false, {}, 0, {}};  // the block whose values are being read
  size_t most_values_ = 0;  // the most values its TotalSize gives room for
  bool block_given_ = false;  // it has them all, and went out
  uint32_t value_ = 0;      // the value being read (its digits so far are the line)
  bool as_text_ = false;    // values passed on as text
  std::string error_;
};

#endif  // TELEGRAM_REPORT_READER_H_
