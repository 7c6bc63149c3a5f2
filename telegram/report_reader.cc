#include "telegram/report_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "telegram/report_format.h"
#include "telegram/telegram_layout.h"
#include "telegram/value_text.h"

namespace {

// The longest line of a report, with room: a longer one is no report line.
const size_t kLongestReportLine = 200;

// The report's fixed lines less their line ends.
std::string WithoutLineEnd(const char* text) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

// How a line compares with a format of the report (less its line end):
// it is a whole line of it, the start of one (its end came first), or not.
enum LineMatch { kNoMatch, kStartOfLine, kWholeLine };

// Compares `line` with `format`: each "%d" an optional minus and up to ten
// digits, every other character itself. Where `numbers` is given, the
// numbers go there, `count` of them, and a whole line has them all.
LineMatch MatchFormat(const char* format, const std::string& line, long long* numbers = nullptr, int count = 0) {
  size_t at = 0;
  int found = 0;
  for (const char* f = format; *f != '\0' && *f != '\r' && *f != '\n'; ++f) {
    if (at == line.size()) return kStartOfLine;
    if (f[0] == '%' && f[1] == 'd') {
      ++f;
      const bool negative = line[at] == '-';
      if (negative) ++at;
      const size_t start = at;
      long long number = 0;
      while (at < line.size() && line[at] >= '0' && line[at] <= '9' && at - start < 10) {
        number = number * 10 + (line[at] - '0');
        ++at;
      }
      if (at == start) return at == line.size() ? kStartOfLine : kNoMatch;
      if (numbers != nullptr) {
        if (found == count) return kNoMatch;
        numbers[found++] = negative ? -number : number;
      }
      continue;
    }
    if (line[at] != *f) return kNoMatch;
    ++at;
  }
  return at == line.size() && (numbers == nullptr || found == count) ? kWholeLine : kNoMatch;
}

// Matches `line` against `format` less its line end, its numbers to
// `numbers`, `count` at most.
bool MatchLine(const char* format, const std::string& line, long long* numbers, int count) {
  return MatchFormat(format, line, numbers, count) == kWholeLine;
}

// The most values the receiver prints for a block whose TotalSize line
// gives `size` (TotalSize - 20, as a signed 32-bit number): those its
// TotalSize gives room for, and no more than the largest datagram holds.
size_t MostValues(long long size) {
  const uint32_t total_size = static_cast<uint32_t>(size) + static_cast<uint32_t>(kHeaderSize);
  const size_t by_size = total_size > kHeaderSize ? (total_size - kHeaderSize) / 2 : 0;
  return std::min(by_size, (kMaxDatagramSize - kBlockValuesOffset) / 2);
}

// Whether `line`, the last of the report and cut short, is the start of a
// line of `format`: what a writer stopped in the middle of it leaves. Line
// ends cut in half are passed over.
bool StartsLine(const char* format, std::string line) {
  while (!line.empty() && line.back() == '\r') line.pop_back();
  return line.empty() || MatchFormat(format, line) != kNoMatch;
}

// A fixed line of the report in quotes, for the words of an error.
std::string Quoted(const char* text) { return "'" + WithoutLineEnd(text) + "'"; }

// A numbered line in quotes: its fixed start, then `rest` for its numbers.
std::string QuotedStart(const char* format, const char* rest) {
  return "'" + std::string(format, FixedStartLength(format)) + rest + "'";
}

std::string BannerWords() { return "the banner " + Quoted(kBannerLine); }

}  // namespace

bool ReportReader::Fail(const std::string& expected) {
  std::string found;
  for (char c : line_.substr(0, 40)) {
    found += (c >= ' ' && c <= '~') ? std::string(1, c) : (c == '\t' ? std::string("\\t") : std::string("?"));
  }
  if (line_.size() > 40) found += "...";
  error_ = "line " + std::to_string(line_number_) + ": expected " + expected + ", found " +
                  (line_.empty() ? std::string("an empty line") : "'" + found + "'");
  return false;
}

void ReportReader::GiveWholeBlock(std::vector<ReportBlock>* blocks) {
  blocks->push_back(std::move(block_));
  block_.values.clear();
  block_.text.clear();
  block_.text_values = 0;
  block_given_ = true;
}

bool ReportReader::ReadValuesText(const char* data, size_t size, size_t* at, std::vector<ReportBlock>* blocks) {
  std::string& text = block_.text;
  size_t i = *at;
  while (i < size) {
    // Whole values, judged 64 bytes at a time, from a value's start.
    if (!block_given_ && (text.empty() || text.back() == kBlockValueSeparator)) {
      // Room for the longest run at the first of it, so that it is never
      // moved as it grows: six bytes a value at most.
      if (text.capacity() == 0) text.reserve(6 * most_values_);
      size_t tabs = 0;
      const size_t span = ValueTextSpan(data + i, size - i, most_values_ - block_.text_values, &tabs);
      text.append(data + i, span);
      block_.text_values += tabs;
      i += span;
      // A block with every value its TotalSize gives room for is whole: it
      // goes out at its last value, as the numbers do.
      if (block_.text_values == most_values_) GiveWholeBlock(blocks);
      if (i == size) break;
    }
    // Where the pass stops, and a value split between two pieces: a byte at
    // a time, judged as the numbers are, in the same words.
    bool took = false;
    if (!ValueByBytes(data, size, &i, &took, blocks)) return false;
    if (!took) break;
  }
  *at = i;
  return true;
}

bool ReportReader::ValueByBytes(const char* data, size_t size, size_t* at, bool* took,
                                std::vector<ReportBlock>* blocks) {
  std::string& text = block_.text;
  const size_t last_tab = text.find_last_of(kBlockValueSeparator);
  const size_t start = last_tab == std::string::npos ? 0 : last_tab + 1;  // of the value's digits
  *took = false;
  for (size_t i = *at; i < size; ++i) {
    const char c = data[i];
    if (static_cast<unsigned char>(c - '0') <= 9) {
      text += c;
      if (text.size() - start > 5) {
        line_ = text.substr(start);
        return Fail("block values from 0 to 65535, each followed by a tab");
      }
      continue;
    }
    if (text.size() == start) {
      *at = i;  // not a value: the run is over
      return true;
    }
    line_ = text.substr(start);
    if (c != kBlockValueSeparator) {
      line_ += c;
      return Fail("a tab after each block value");
    }
    if (line_.size() == 5 && line_ > "65535") return Fail("block values from 0 to 65535, each followed by a tab");
    if (block_given_) {
      return Fail("no more than the " + std::to_string(most_values_) + " block values its TotalSize line gives " +
                  "room for");
    }
    line_.clear();
    text += c;
    ++block_.text_values;
    if (block_.text_values == most_values_) GiveWholeBlock(blocks);
    *at = i + 1;
    *took = true;
    return true;
  }
  *at = size;
  return true;
}

// Reads the block values in data[*at, size): each value's digits and its
// tab. Stops at the end of the data, with a value's digits so far kept in
// `line_` and its number in `value_`, or at the first byte
// after the run, at *at. Each value is judged only once its tab (or a
// sixth digit, or some other byte) has come, so that the words of an error
// do not depend on how the report came in pieces. False on an error.
bool ReportReader::ReadValues(const char* data, size_t size, size_t* at, std::vector<ReportBlock>* blocks) {
  if (as_text_) return ReadValuesText(data, size, at, blocks);
  std::vector<uint16_t>& values = block_.values;
  const size_t most = block_given_ ? 0 : most_values_;
  // A block with every value its TotalSize gives room for is whole: it goes
  // out at its last value, not once the next line begins, which may be a
  // while in coming, and at the same value however the report is split.
  auto give_if_whole = [this, &values, most, blocks] {
    if (values.size() != most || block_given_) return false;
    blocks->push_back(std::move(block_));
    block_.values.clear();
    block_given_ = true;
    return true;
  };
  size_t i = *at;
  // Room for them all at the first value, so that a block's values are
  // never moved as they grow; a block without values takes none.
  if (values.capacity() == 0 && most > 0 && i < size) values.reserve(most);
  // Up to 32,743 values a block: whole ones, eight bytes at a time, while
  // eight remain. Anything out of the ordinary (a value split between two
  // pieces of the report, its last bytes, the end of the run, damage) is
  // left to the byte-at-a-time loop below, which hands back once a value is
  // taken.
  for (;;) {
    while (line_.empty() && !block_given_ && size - i >= 8 && values.size() < most) {
      uint16_t value = 0;
      const size_t length = WholeValueAt(data + i, &value);
      if (length == 0) break;
      values.push_back(value);
      i += length + 1;
      if (give_if_whole()) break;
    }
    bool took = false;
    for (; i < size && !took; ++i) {
      const char c = data[i];
      const unsigned digit = static_cast<unsigned char>(c) - static_cast<unsigned>('0');
      if (digit < 10) {
        line_ += c;
        value_ = value_ * 10 + digit;
        if (line_.size() > 5) return Fail("block values from 0 to 65535, each followed by a tab");
        continue;
      }
      if (line_.empty()) {
        *at = i;  // not a value: the run is over
        return true;
      }
      if (c != kBlockValueSeparator) {
        line_ += c;
        return Fail("a tab after each block value");
      }
      if (value_ > 65535) return Fail("block values from 0 to 65535, each followed by a tab");
      if (block_given_ || values.size() >= most) {
        return Fail("no more than the " + std::to_string(most_values_) + " block values its TotalSize line gives " +
                    "room for");
      }
      values.push_back(static_cast<uint16_t>(value_));
      line_.clear();
      value_ = 0;
      give_if_whole();
      took = true;
    }
    if (!took) break;
  }
  *at = i;
  return true;
}

// Takes one whole line, less its line end, in the light of what came before.
bool ReportReader::TakeLine() {
  const std::string& line = line_;
  long long numbers[4] = {};
  switch (part_) {
    case kBannerNext:
    case kEnded:
      if (line != WithoutLineEnd(kBannerLine)) {
        if (part_ == kEnded) {
          return Fail("nothing after " + Quoted(kExitLine) + " but another run's banner");
        }
        return Fail(BannerWords());
      }
      part_ = kItemNext;
      finished_ = false;
      return true;
    case kItemNext:
      if (MatchLine(kTypeLineFormat, line, numbers, 1) && numbers[0] >= 0 && numbers[0] <= 65535) {
        ++telegrams_;
        part_ = numbers[0] == kBeamRangeType     ? kBeamCountNext
                       : numbers[0] == kBlockValuesType ? kBlockLineNext
                                                        : kItemNext;
        return true;
      }
      if (MatchLine(kErrorLineFormat, line, numbers, 1)) {
        part_ = kClosingNext;
        return true;
      }
      if (line == WithoutLineEnd(kClosingLine)) {
        part_ = kExitNext;
        return true;
      }
      // A run stopped by Ctrl-C ends after a telegram's report, with no
      // closing lines; a report appended to (telegram-receiver >> FILE)
      // goes on with the next run's banner.
      if (line == WithoutLineEnd(kBannerLine)) {
        finished_ = false;
        return true;
      }
      return Fail("a type line (" + QuotedStart(kTypeLineFormat, "N") +
                              "), the error line or the closing lines");
    case kBeamCountNext:
      if (!MatchLine(kBeamCountLineFormat, line, numbers, 4)) {
        return Fail(
                    "the line " + QuotedStart(kBeamCountLineFormat, "...") + " of the type-1 telegram before it");
      }
      part_ = kItemNext;
      return true;
    case kBlockLineNext:
      if (!MatchLine(kBlockLineFormat, line, numbers, 3) || numbers[2] < 0 || numbers[2] > 65535) {
        return Fail(
                    "the line " + QuotedStart(kBlockLineFormat, "...") + " of the type-6 telegram before it");
      }
      if (!BlockHasValuesInReport(static_cast<uint32_t>(numbers[2]))) {
        part_ = kItemNext;
        return true;
      }
      block_ = ReportBlock{line_number_, telegrams_, numbers[0], numbers[1], static_cast<long>(numbers[2]), {}, false,
                           {}, 0, {}};
      most_values_ = MostValues(numbers[0]);
      block_given_ = false;
      part_ = kValuesStartNext;
      return true;
    case kValuesStartNext:
      if (!line.empty()) return Fail("the empty line before the values of a block 0 or 1");
      part_ = kInValues;
      value_ = 0;
      return true;
    case kClosingNext:
      if (line != WithoutLineEnd(kClosingLine)) return Fail("the closing line after the error line");
      part_ = kExitNext;
      return true;
    case kExitNext:
      if (line != WithoutLineEnd(kExitLine)) return Fail("the line " + Quoted(kExitLine));
      part_ = kEnded;
      finished_ = true;
      return true;
    case kInValues: break;
  }
  return true;
}

bool ReportReader::Read(const char* data, size_t size, std::vector<ReportBlock>* blocks) {
  if (!error_.empty()) return false;
  for (size_t i = 0; i < size; ++i) {
    if (part_ == kInValues) {
      if (!ReadValues(data, size, &i, blocks)) return false;
      if (i == size) break;
      // The run of values is over: the next line starts right after it.
      if (!block_given_) blocks->push_back(std::move(block_));
      block_.values.clear();
      block_.text.clear();
      block_.text_values = 0;
      part_ = kItemNext;
    }
    const char c = data[i];
    if (c == '\n') {
      // A Windows text stream writes "\r\n" as "\r\r\n".
      while (!line_.empty() && line_.back() == '\r') line_.pop_back();
      if (!TakeLine()) return false;
      line_.clear();
      ++line_number_;
      continue;
    }
    line_ += c;
    if (line_.size() > kLongestReportLine) {
      return Fail(part_ == kBannerNext ? BannerWords() : "a report line");
    }
  }
  return true;
}

bool ReportReader::End(std::vector<ReportBlock>* blocks) {
  if (!error_.empty()) return false;
  if (part_ == kInValues) {
    // A value without its tab was cut off; so were the values after it.
    if (block_given_) {
      // Every value came, and it went out; digits after them are none.
      if (as_text_) line_ = block_.text;
      if (!line_.empty()) {
        return Fail("no more than the " + std::to_string(most_values_) +
                    " block values its TotalSize line gives room for");
      }
      part_ = kItemNext;
      return true;
    }
    const bool value_cut = as_text_ ? !block_.text.empty() && block_.text.back() != kBlockValueSeparator
                                    : !line_.empty();
    // Five digits above 65535 are no value's start, whatever would follow.
    if (as_text_ && value_cut) line_ = block_.text.substr(block_.text.find_last_of(kBlockValueSeparator) + 1);
    if (line_.size() == 5 && line_ > "65535") return Fail("block values from 0 to 65535, each followed by a tab");
    const size_t came = as_text_ ? block_.text_values : block_.values.size();
    block_.cut_short = value_cut || came < most_values_;
    blocks->push_back(std::move(block_));
    block_.values.clear();
    block_.text.clear();
    block_.text_values = 0;
    part_ = kItemNext;
    return true;
  }
  if (part_ == kBannerNext && line_.empty()) {
    error_ = "line 1: expected " + BannerWords() + ", found nothing";
    return false;
  }
  if (line_.empty()) return true;
  // A last line cut short is the start of a line that may come there, or
  // the report is damaged there as it would be in the middle.
  switch (part_) {
    case kBannerNext:
      return StartsLine(kBannerLine, line_) || Fail(BannerWords());
    case kEnded:
      return StartsLine(kBannerLine, line_) ||
             Fail("nothing after " + Quoted(kExitLine) + " but another run's banner");
    case kItemNext:
      return StartsLine(kTypeLineFormat, line_) || StartsLine(kErrorLineFormat, line_) ||
             StartsLine(kClosingLine, line_) ||
             Fail("a type line (" + QuotedStart(kTypeLineFormat, "N") + "), the error line or the closing lines");
    case kBeamCountNext:
      return StartsLine(kBeamCountLineFormat, line_) ||
             Fail("the line " + QuotedStart(kBeamCountLineFormat, "...") + " of the type-1 telegram before it");
    case kBlockLineNext:
      return StartsLine(kBlockLineFormat, line_) ||
             Fail("the line " + QuotedStart(kBlockLineFormat, "...") + " of the type-6 telegram before it");
    case kValuesStartNext:
      return StartsLine("", line_) || Fail("the empty line before the values of a block 0 or 1");
    case kClosingNext:
      return StartsLine(kClosingLine, line_) || Fail("the closing line after the error line");
    case kExitNext:
      return StartsLine(kExitLine, line_) || Fail("the line " + Quoted(kExitLine));
    case kInValues:
      break;
  }
  return true;
}
