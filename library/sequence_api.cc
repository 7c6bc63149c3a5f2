// The C interface's sequence counter: a handle over SequenceCounter.
#include <memory>

#include "library/handle_open.h"
#include "library/sequence_counter.h"
#include "library/struct_layout.h"
#include "tgr/tgr.h"

struct tgr_sequence {
  tgr::SequenceCounter counter;
};

extern "C" {

int tgr_sequence_open(tgr_sequence** sequence, char* error, size_t error_size) {
  return tgr::OpenHandle(sequence, error, error_size, [](std::unique_ptr<tgr_sequence>* made, tgr::OpenFailure*) {
    *made = std::make_unique<tgr_sequence>();
    return TGR_OK;
  });
}

int tgr_sequence_close(tgr_sequence* sequence, char* error, size_t error_size) {
  return tgr::CloseHandle(sequence, error, error_size);
}

int tgr_sequence_add(tgr_sequence* sequence, const tgr_telegram* telegram) {
  if (sequence == nullptr || !tgr::Sized(telegram)) return TGR_E_ARGUMENT;
  return tgr::Guarded([&] {
    if (telegram->type == TGR_TYPE_BLOCK_VALUES) {
      sequence->counter.Add(telegram->scan_no, telegram->block_no);
    } else {
      sequence->counter.CountOther();
    }
    return TGR_OK;
  });
}

int tgr_sequence_counts_get(const tgr_sequence* sequence, tgr_sequence_counts* counts) {
  if (sequence == nullptr || !tgr::Sized(counts)) return TGR_E_ARGUMENT;
  tgr::Fill(counts, sequence->counter.Counts());
  return TGR_OK;
}

}  // extern "C"
