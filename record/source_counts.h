// Each source's telegrams counted apart: their number, bytes and sequence
// (gaps, repeats, reordering), so that two scanners on one port are two
// numberings, never one; and the totals over them. Bounded: the first
// kMostApart sources are counted each apart, any later ones together.
#ifndef RECORD_SOURCE_COUNTS_H_
#define RECORD_SOURCE_COUNTS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
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
  static constexpr size_t kMostApart = 16;

  SourceCounts() = default;
  SourceCounts(const SourceCounts&) = delete;
  SourceCounts& operator=(const SourceCounts&) = delete;

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
  uint64_t sources() const { return apart_.size() + others_sources_.size(); }

 private:
  struct Counted {
    SourceNumbers numbers;
    std::unique_ptr<tgr::Sequence> sequence;
  };
  Counted* Find(const SourceAddress& source);
  static bool Count(Counted* counted, const unsigned char* bytes, size_t size);

  std::vector<Counted> apart_;
  // The sources beyond the bound: counted together, their addresses
  // remembered up to a bound of their own so that they are counted once.
  Counted others_;
  std::vector<SourceAddress> others_sources_;
  bool others_overflow_ = false;
};

// Every field of `b` added to `a`'s.
void AddCounts(tgr_sequence_counts* a, const tgr_sequence_counts& b);

#endif  // RECORD_SOURCE_COUNTS_H_
