#include "record/source_counts.h"

namespace {

SourceNumbers NumbersOf(const tgr_source_counts& source, const tgr_sequence_counts& sequence) {
  SourceNumbers numbers;
  numbers.source = SourceAddress{source.address, source.port};
  numbers.others = source.others != 0;
  numbers.sources = source.sources;
  numbers.at_least = source.at_least != 0;
  numbers.telegrams = source.telegrams;
  numbers.bytes = source.bytes;
  numbers.sequence = sequence;
  return numbers;
}

}  // namespace

bool SourceCounts::Add(const SourceAddress& source, const unsigned char* bytes, size_t size) {
  return sequence_.Add(source.address, source.port, tgr::Telegram::Decode(bytes, size)) == TGR_OK;
}

std::vector<SourceNumbers> SourceCounts::Each() const {
  std::vector<SourceNumbers> each;
  const size_t entries = sequence_.entries();
  each.reserve(entries);
  for (size_t i = 0; i < entries; ++i) {
    tgr_sequence_counts sequence;
    const tgr_source_counts source = sequence_.Entry(i, &sequence);
    each.push_back(NumbersOf(source, sequence));
  }
  return each;
}

SourceNumbers SourceCounts::Totals() const {
  tgr_sequence_counts sequence;
  const tgr_source_counts source = sequence_.Totals(&sequence);
  return NumbersOf(source, sequence);
}
