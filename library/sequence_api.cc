// The C interface's sequence counter: a handle over SequenceCounter.
#include <new>

#include "library/sequence_counter.h"
#include "tgr/tgr.h"

struct tgr_sequence {
  tgr::SequenceCounter counter;
};

extern "C" {

tgr_sequence* tgr_sequence_new(void) { return new (std::nothrow) tgr_sequence(); }

void tgr_sequence_free(tgr_sequence* sequence) { delete sequence; }

int tgr_sequence_add(tgr_sequence* sequence, const tgr_telegram* telegram) {
  if (sequence == nullptr || telegram == nullptr) return TGR_E_ARGUMENT;
  if (telegram->type == TGR_TYPE_BLOCK_VALUES) sequence->counter.Add(telegram->scan_no, telegram->block_no);
  return TGR_OK;
}

int tgr_sequence_counts_get(const tgr_sequence* sequence, tgr_sequence_counts* counts) {
  if (sequence == nullptr || counts == nullptr) return TGR_E_ARGUMENT;
  *counts = sequence->counter.Counts();
  return TGR_OK;
}

}  // extern "C"
