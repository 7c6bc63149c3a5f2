// Each source's telegrams counted apart, through the library's counter of
// sources: their number, bytes and sequence (gaps, repeats, reordering),
// so that two scanners on one port are two numberings, never one; and the
// totals over them. Bounded: the first kMostApart sources are counted each
// apart, any later ones together.
#ifndef RECORD_SOURCE_COUNTS_H_
#define RECORD_SOURCE_COUNTS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/source_address.h"
#include "tgr/tgr.hpp"

// One source's numbers so far.
struct SourceNumbers {
  SourceAddress source;
  bool others = false;  // the sources beyond the bound, together
  uint64_t sources = 1; // how many sources these numbers are of
  bool at_least = false; // more came than `sources`: too many to tell apart
  uint64_t telegrams = 0;
  uint64_t bytes = 0;
  tgr_sequence_counts sequence = {};
};

class SourceCounts {
 public:
  // Each source's sequence counter takes 2 MB: so many are kept apart.
  static constexpr size_t kMostApart = TGR_SOURCES_APART;

  // Counts one telegram of `size` bytes from `source`. False only if no
  // counter's memory could be had (the telegram is then counted in
  // telegrams and bytes alone).
  bool Add(const SourceAddress& source, const unsigned char* bytes, size_t size);

  // Each source's numbers, in the order their first telegram came, then
  // the others' together if there were any.
  std::vector<SourceNumbers> Each() const;
  // Every source's numbers added up.
  SourceNumbers Totals() const;
  // The sources seen, those beyond the bound included.
  uint64_t sources() const { return sequence_.Totals().sources; }

 private:
  tgr::SourceSequence sequence_{kMostApart};
};

#endif  // RECORD_SOURCE_COUNTS_H_
