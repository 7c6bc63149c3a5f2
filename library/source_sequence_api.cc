// The C interface's counter of sources: a handle over SourceSequences.
#include <memory>

#include "library/handle_open.h"
#include "library/source_sequences.h"
#include "library/struct_layout.h"
#include "tgr/tgr.h"

struct tgr_source_sequence {
  explicit tgr_source_sequence(size_t most_apart) : sequences(most_apart) {}
  tgr::SourceSequences sequences;
};

extern "C" {

int tgr_source_sequence_open(size_t most_apart, tgr_source_sequence** sequence, char* error, size_t error_size) {
  return tgr::OpenHandle(sequence, error, error_size,
                         [most_apart](std::unique_ptr<tgr_source_sequence>* made, tgr::OpenFailure* failure) {
                           if (most_apart > TGR_MOST_SOURCES_APART) {
                             failure->words = "at most " + std::to_string(TGR_MOST_SOURCES_APART) +
                                              " sources may be counted apart, not " + std::to_string(most_apart);
                             return TGR_E_ARGUMENT;
                           }
                           *made = std::make_unique<tgr_source_sequence>(most_apart == 0 ? TGR_SOURCES_APART
                                                                                         : most_apart);
                           return TGR_OK;
                         });
}

int tgr_source_sequence_close(tgr_source_sequence* sequence, char* error, size_t error_size) {
  return tgr::CloseHandle(sequence, error, error_size);
}

int tgr_source_sequence_add(tgr_source_sequence* sequence, uint32_t address, uint16_t port,
                            const tgr_telegram* telegram) {
  if (sequence == nullptr || !tgr::Sized(telegram)) return TGR_E_ARGUMENT;
  return tgr::Guarded([&] {
    return sequence->sequences.Add(address, port, *telegram) ? TGR_OK : TGR_E_MEMORY;
  });
}

size_t tgr_source_sequence_entries(const tgr_source_sequence* sequence) {
  return sequence == nullptr ? 0 : sequence->sequences.entries();
}

int tgr_source_sequence_get(const tgr_source_sequence* sequence, size_t index, tgr_source_counts* source,
                            tgr_sequence_counts* counts) {
  if (sequence == nullptr || !tgr::Sized(source) || !tgr::Sized(counts) || index >= sequence->sequences.entries()) {
    return TGR_E_ARGUMENT;
  }
  tgr_sequence_counts sequence_counts = tgr::Blank<tgr_sequence_counts>();
  tgr::Fill(source, sequence->sequences.Entry(index, &sequence_counts));
  tgr::Fill(counts, sequence_counts);
  return TGR_OK;
}

int tgr_source_sequence_totals(const tgr_source_sequence* sequence, tgr_source_counts* source,
                               tgr_sequence_counts* counts) {
  if (sequence == nullptr || !tgr::Sized(source) || !tgr::Sized(counts)) return TGR_E_ARGUMENT;
  tgr_sequence_counts sequence_counts = tgr::Blank<tgr_sequence_counts>();
  tgr::Fill(source, sequence->sequences.Totals(&sequence_counts));
  tgr::Fill(counts, sequence_counts);
  return TGR_OK;
}

}  // extern "C"
