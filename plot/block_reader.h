// The report's blocks of values, read by the report reader the library
// (and through it the Python package) reads with, their values kept as
// the report prints them: found, judged and counted in a pass over their
// bytes, handed on without a copy, and made numbers only for what asks for
// them (a picture, a page's range), never for every block.
#ifndef PLOT_BLOCK_READER_H_
#define PLOT_BLOCK_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "telegram/report_reader.h"

class BlockReader {
 public:
  BlockReader() { reader_.TakeValuesAsText(); }

  // Reads `size` more bytes of the report; each block now whole goes to the
  // end of `*blocks`, its values in `text` (`text_values` of them). False,
  // for good, once the bytes are no report: error() then says where.
  bool Read(const char* data, size_t size, std::vector<ReportBlock>* blocks) {
    return reader_.Read(data, size, blocks);
  }
  // The report has ended: the block being read goes to `*blocks`, marked cut
  // short if its values are, its text ending with its last whole value (the
  // digits of one cut off are no value). False for what is no report at
  // all.
  bool End(std::vector<ReportBlock>* blocks);

  bool started() const { return reader_.started(); }
  long telegrams() const { return reader_.telegrams(); }
  bool finished() const { return reader_.finished(); }
  const std::string& error() const { return reader_.error(); }

 private:
  ReportReader reader_;
};

// The numbers of a block's values text (`count` values), read by a
// BlockReader, which judged them all: into `*values`, replacing what it
// held.
void ParseValues(const std::string& text, size_t count, std::vector<uint16_t>* values);

#endif  // PLOT_BLOCK_READER_H_
