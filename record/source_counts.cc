#include "record/source_counts.h"

#include <new>

namespace {

// The sources beyond the bound whose addresses are remembered, so that
// each is counted once among the others.
const size_t kMostOtherSourcesKnown = 4096;

}  // namespace

void AddCounts(tgr_sequence_counts* a, const tgr_sequence_counts& b) {
  a->telegrams += b.telegrams;
  a->block_telegrams += b.block_telegrams;
  a->missing_blocks += b.missing_blocks;
  a->missing_scans += b.missing_scans;
  a->missing_tail_blocks += b.missing_tail_blocks;
  a->repeated += b.repeated;
  a->reordered += b.reordered;
  a->restarts += b.restarts;
  a->outliers += b.outliers;
}

SourceCounts::Counted* SourceCounts::Find(const SourceAddress& source) {
  for (Counted& counted : apart_) {
    if (counted.numbers.source == source) return &counted;
  }
  if (apart_.size() < kMostApart) {
    // A counter of its own, if its memory can be had; else it is one of
    // the others.
    std::unique_ptr<tgr::Sequence> sequence(new (std::nothrow) tgr::Sequence);
    if (sequence && sequence->ok()) {
      apart_.push_back(Counted{});
      apart_.back().numbers.source = source;
      apart_.back().sequence = std::move(sequence);
      return &apart_.back();
    }
  }
  bool known = false;
  for (const SourceAddress& other : others_sources_) known = known || other == source;
  if (!known) {
    if (others_sources_.size() < kMostOtherSourcesKnown) {
      others_sources_.push_back(source);
    } else {
      others_overflow_ = true;
    }
  }
  others_.numbers.others = true;
  if (!others_.sequence) others_.sequence.reset(new (std::nothrow) tgr::Sequence);
  return &others_;
}

bool SourceCounts::Count(Counted* counted, const unsigned char* bytes, size_t size) {
  ++counted->numbers.telegrams;
  counted->numbers.bytes += size;
  if (!counted->sequence || !counted->sequence->ok()) return false;
  counted->sequence->Add(tgr::Telegram::Decode(bytes, size));
  return true;
}

bool SourceCounts::Add(const SourceAddress& source, const unsigned char* bytes, size_t size) {
  return Count(Find(source), bytes, size);
}

std::vector<SourceNumbers> SourceCounts::Each() const {
  std::vector<SourceNumbers> each;
  each.reserve(apart_.size() + 1);
  for (const Counted& counted : apart_) {
    each.push_back(counted.numbers);
    each.back().sequence = counted.sequence->Counts();
  }
  if (others_.numbers.telegrams > 0) {
    each.push_back(others_.numbers);
    each.back().sources = others_sources_.size();
    each.back().at_least = others_overflow_;
    if (others_.sequence && others_.sequence->ok()) each.back().sequence = others_.sequence->Counts();
  }
  return each;
}

SourceNumbers SourceCounts::Totals() const {
  SourceNumbers totals;
  totals.sources = sources();
  totals.at_least = others_overflow_;
  for (const SourceNumbers& one : Each()) {
    totals.telegrams += one.telegrams;
    totals.bytes += one.bytes;
    AddCounts(&totals.sequence, one.sequence);
  }
  return totals;
}
