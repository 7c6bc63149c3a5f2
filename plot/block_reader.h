// The report's blocks of values, read through the library's report reader
// (tgr::ReportReader): each block the plot shows, with its values copied
// out of the reader into the block that the plot keeps.
#ifndef PLOT_BLOCK_READER_H_
#define PLOT_BLOCK_READER_H_

#include <cstddef>
#include <string>
#include <vector>

#include "telegram/report_reader.h"
#include "tgr/tgr.hpp"

class BlockReader {
 public:
  // False if the reader's memory could not be had.
  bool ok() const { return reader_.ok(); }

  // Reads `size` more bytes of the report; each block now whole goes to the
  // end of `*blocks`. False, for good, once the bytes are no report: error()
  // then says where.
  bool Read(const char* data, size_t size, std::vector<ReportBlock>* blocks);
  // The report has ended: the block being read goes to `*blocks`, marked cut
  // short if its values are. False for what is no report at all.
  bool End(std::vector<ReportBlock>* blocks);

  bool started() const { return reader_.started(); }
  long telegrams() const { return static_cast<long>(reader_.telegrams()); }
  bool finished() const { return reader_.finished(); }
  std::string error() const { return reader_.error(); }

 private:
  void Take(std::vector<ReportBlock>* blocks);

  tgr::ReportReader reader_;
};

#endif  // PLOT_BLOCK_READER_H_
