#include "library/source_sequences.h"

#include <algorithm>
#include <new>

namespace tgr {

namespace {

// The sources beyond the bound whose addresses are remembered, so that
// each is counted once among the others.
const size_t kMostOtherSourcesKnown = 4096;

uint64_t KeyOf(uint32_t address, uint16_t port) { return static_cast<uint64_t>(address) << 16 | port; }

// A counter, or null where its memory cannot be had.
std::unique_ptr<SequenceCounter> NewCounter() {
  try {
    return std::make_unique<SequenceCounter>();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

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

SourceSequences::Counted* SourceSequences::Find(uint32_t address, uint16_t port) {
  for (Counted& counted : apart_) {
    if (counted.source.address == address && counted.source.port == port) return &counted;
  }
  if (apart_.size() < most_apart_) {
    std::unique_ptr<SequenceCounter> counter = NewCounter();
    if (counter) {
      apart_.emplace_back();
      apart_.back().source.address = address;
      apart_.back().source.port = port;
      apart_.back().source.sources = 1;
      apart_.back().counter = std::move(counter);
      return &apart_.back();
    }
  }
  const uint64_t key = KeyOf(address, port);
  if (std::find(others_known_.begin(), others_known_.end(), key) == others_known_.end()) {
    if (others_known_.size() < kMostOtherSourcesKnown) {
      others_known_.push_back(key);
    } else {
      others_overflow_ = true;
    }
  }
  if (!others_.counter) others_.counter = NewCounter();
  return &others_;
}

bool SourceSequences::Add(uint32_t address, uint16_t port, const tgr_telegram& telegram) {
  Counted* counted = Find(address, port);
  ++counted->source.telegrams;
  counted->source.bytes += telegram.size;
  if (!counted->counter) return false;
  if (telegram.type == TGR_TYPE_BLOCK_VALUES) {
    counted->counter->Add(telegram.scan_no, telegram.block_no);
  } else {
    counted->counter->CountOther();
  }
  return counted != &others_ || apart_.size() >= most_apart_;
}

tgr_source_counts SourceSequences::Others() const {
  tgr_source_counts others = others_.source;
  others.others = 1;
  others.sources = others_known_.size();
  others.at_least = others_overflow_ ? 1 : 0;
  return others;
}

tgr_source_counts SourceSequences::Entry(size_t index, tgr_sequence_counts* counts) const {
  const Counted& counted = index < apart_.size() ? apart_[index] : others_;
  *counts = counted.counter ? counted.counter->Counts() : Blank<tgr_sequence_counts>();
  return index < apart_.size() ? counted.source : Others();
}

tgr_source_counts SourceSequences::Totals(tgr_sequence_counts* counts) const {
  tgr_source_counts totals = Blank<tgr_source_counts>();
  *counts = Blank<tgr_sequence_counts>();
  for (size_t i = 0; i < entries(); ++i) {
    tgr_sequence_counts one = Blank<tgr_sequence_counts>();
    const tgr_source_counts source = Entry(i, &one);
    totals.sources += source.sources;
    totals.telegrams += source.telegrams;
    totals.bytes += source.bytes;
    AddCounts(counts, one);
  }
  totals.at_least = others_overflow_ ? 1 : 0;
  return totals;
}

}  // namespace tgr
