// Each source's telegrams counted apart: their number, bytes and sequence
// (gaps, repeats, reordering), so that two scanners on one port are two
// numberings, never one; and the totals over them. Bounded: the first
// `most_apart` sources are counted each apart, any later ones together,
// their addresses remembered up to a bound of their own.
#ifndef LIBRARY_SOURCE_SEQUENCES_H_
#define LIBRARY_SOURCE_SEQUENCES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "library/sequence_counter.h"
#include "library/struct_layout.h"
#include "tgr/tgr.h"

namespace tgr {

// Every field of `b` added to `a`'s.
void AddCounts(tgr_sequence_counts* a, const tgr_sequence_counts& b);

class SourceSequences {
 public:
  explicit SourceSequences(size_t most_apart) : most_apart_(most_apart) {}

  // Counts one telegram from `address`:`port`. False if no counter could be
  // had for it: then it is counted in telegrams and bytes alone, or with
  // the others.
  bool Add(uint32_t address, uint16_t port, const tgr_telegram& telegram);

  // Each source apart, then the others if any came.
  size_t entries() const { return apart_.size() + (others_.source.telegrams > 0 ? 1 : 0); }
  // Entry `index`, below entries().
  tgr_source_counts Entry(size_t index, tgr_sequence_counts* counts) const;
  tgr_source_counts Totals(tgr_sequence_counts* counts) const;

 private:
  struct Counted {
    tgr_source_counts source = Blank<tgr_source_counts>();
    std::unique_ptr<SequenceCounter> counter;
  };
  Counted* Find(uint32_t address, uint16_t port);
  tgr_source_counts Others() const;

  const size_t most_apart_;
  std::vector<Counted> apart_;
  Counted others_;
  // The others' sources, so that each is counted once among them.
  std::vector<uint64_t> others_known_;
  bool others_overflow_ = false;
};

}  // namespace tgr

#endif  // LIBRARY_SOURCE_SEQUENCES_H_
