// The C interface's report reader: a handle over ReportReader, with the
// blocks it has given kept until they are taken.
#include <deque>
#include <memory>
#include <vector>

#include "library/handle_open.h"
#include "library/struct_layout.h"
#include "telegram/report_reader.h"
#include "telegram/value_text.h"
#include "tgr/tgr.h"

struct tgr_report_reader {
  ReportReader reader;
  std::vector<ReportBlock> read;  // given by the reader, not yet queued
  std::deque<ReportBlock> ready;  // whole, not yet taken
  ReportBlock taken;              // the last one taken: its values live here
  bool broken = false;            // memory ran out inside the reading: its state is unsure
};

namespace {

void Queue(tgr_report_reader* r) {
  for (ReportBlock& block : r->read) r->ready.push_back(std::move(block));
  r->read.clear();
}

}  // namespace

extern "C" {

int tgr_report_reader_open(tgr_report_reader** reader, char* error, size_t error_size) {
  return tgr::OpenHandle(reader, error, error_size,
                         [](std::unique_ptr<tgr_report_reader>* made, tgr::OpenFailure*) {
                           *made = std::make_unique<tgr_report_reader>();
                           return TGR_OK;
                         });
}

int tgr_report_reader_close(tgr_report_reader* reader, char* error, size_t error_size) {
  return tgr::CloseHandle(reader, error, error_size);
}

int tgr_report_reader_values_as_text(tgr_report_reader* reader) {
  if (reader == nullptr || reader->reader.started() || reader->broken) return TGR_E_ARGUMENT;
  reader->reader.TakeValuesAsText();
  return TGR_OK;
}

int tgr_report_values_parse(const char* text, size_t size, uint16_t* out, size_t capacity, size_t* count,
                            size_t* damage_at) {
  if ((text == nullptr && size != 0) || (out == nullptr && capacity != 0) || count == nullptr) return TGR_E_ARGUMENT;
  size_t bad = size;
  bool no_room = false;
  *count = ParseValueText(text, size, out, capacity, &bad, &no_room);
  if (damage_at != nullptr) *damage_at = bad;
  if (bad == size) return TGR_OK;
  return no_room ? TGR_E_SPACE : TGR_E_DAMAGED;
}

int tgr_report_reader_feed(tgr_report_reader* reader, const void* text, size_t size) {
  if (reader == nullptr || (text == nullptr && size != 0)) return TGR_E_ARGUMENT;
  if (reader->broken) return TGR_E_MEMORY;
  const int result = tgr::Guarded([&] {
    const bool report = reader->reader.Read(static_cast<const char*>(text), size, &reader->read);
    Queue(reader);
    return report ? TGR_OK : TGR_E_DAMAGED;
  });
  reader->broken = result == TGR_E_MEMORY;
  return result;
}

int tgr_report_reader_end(tgr_report_reader* reader) {
  if (reader == nullptr) return TGR_E_ARGUMENT;
  if (reader->broken) return TGR_E_MEMORY;
  const int result = tgr::Guarded([&] {
    const bool report = reader->reader.End(&reader->read);
    Queue(reader);
    return report ? TGR_OK : TGR_E_DAMAGED;
  });
  reader->broken = result == TGR_E_MEMORY;
  return result;
}

int tgr_report_reader_next(tgr_report_reader* reader, tgr_report_block* block) {
  if (reader == nullptr || !tgr::Sized(block)) return TGR_E_ARGUMENT;
  if (reader->broken) return TGR_E_MEMORY;
  if (reader->ready.empty()) return TGR_E_END;
  reader->taken = std::move(reader->ready.front());
  reader->ready.pop_front();
  const ReportBlock& b = reader->taken;
  tgr_report_block given = tgr::Blank<tgr_report_block>();
  given.line = static_cast<uint64_t>(b.line);
  given.telegram = static_cast<uint64_t>(b.telegram);
  given.size = b.size;
  given.scan_no = b.scan_no;
  given.block_no = static_cast<uint16_t>(b.block_no);
  given.cut_short = b.cut_short ? 1 : 0;
  const bool as_text = reader->reader.values_as_text();
  given.value_count = as_text ? b.text_values : b.values.size();
  given.values = b.values.empty() ? nullptr : b.values.data();
  given.values_text = as_text ? b.text.data() : nullptr;
  given.values_text_size = as_text ? b.text.size() : 0;
  tgr::Fill(block, given);
  return TGR_OK;
}

uint64_t tgr_report_reader_telegrams(const tgr_report_reader* reader) {
  return reader != nullptr ? static_cast<uint64_t>(reader->reader.telegrams()) : 0;
}

int tgr_report_reader_finished(const tgr_report_reader* reader) {
  return reader != nullptr && reader->reader.finished() ? 1 : 0;
}

int tgr_report_reader_started(const tgr_report_reader* reader) {
  return reader != nullptr && reader->reader.started() ? 1 : 0;
}

const char* tgr_report_reader_error(const tgr_report_reader* reader) {
  return reader != nullptr ? reader->reader.error().c_str() : "no reader";
}

}  // extern "C"
