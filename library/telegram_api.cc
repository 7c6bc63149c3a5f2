// The C interface's decoding and report of one telegram, over the same
// reads and the same formatter as the receiver's.
#include <cstring>
#include <new>

#include "library/struct_layout.h"
#include "telegram/beam_count_report.h"
#include "telegram/report_output.h"
#include "telegram/telegram.h"
#include "telegram/telegram_report.h"
#include "tgr/tgr.h"

static_assert(TGR_MAX_TELEGRAM_SIZE == kMaxDatagramSize, "the longest telegram is the largest datagram");
static_assert(TGR_TYPE_BEAM_RANGE == kBeamRangeType && TGR_TYPE_BLOCK_VALUES == kBlockValuesType,
              "the types the report decodes");
// Three lines of at most kLongestLine, one of them with a line end made
// "\r\n", and the most values, "65535\t" each.
static_assert(TGR_REPORT_MAX_SIZE >= 3 * kLongestLine + 6 * ((kMaxDatagramSize - kBlockValuesOffset) / 2),
              "room for the longest report");
static_assert(6 * kLongestLine + 6 * ((kMaxDatagramSize - kBlockValuesOffset) / 2) + 8 <= TGR_REPORT_MAX_SIZE + 512,
              "tgr_report_bound's promise");

namespace {

// Where the report goes: into the caller's buffer as far as it holds, and
// counted all the same, so that the caller learns the size it needs.
class BufferDestination : public ReportDestination {
 public:
  BufferDestination(char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}
  int Write(const char* data, size_t size) override {
    if (size > 0 && counted_ <= capacity_ && size <= capacity_ - counted_) memcpy(buffer_ + counted_, data, size);
    counted_ += size;
    return 0;
  }
  size_t counted() const { return counted_; }

 private:
  char* buffer_;
  size_t capacity_;
  size_t counted_ = 0;
};

// Formatting straight into the caller's buffer: a write to the destination
// would mean the buffer was too small after all, and is only noted.
class InPlaceCheck : public ReportDestination {
 public:
  int Write(const char* /*data*/, size_t /*size*/) override {
    overflowed_ = true;
    return 0;
  }
  bool overflowed() const { return overflowed_; }

 private:
  bool overflowed_ = false;
};

// The room in which a report is formatted in place without ever draining:
// its three lines, each at most kLongestLine and one more byte for each
// "\n" made "\r\n" (twice that, to spare), and its values, at most
// "65535\t" each, with the 8 bytes a value is copied as free before each.
size_t InPlaceRoom(Telegram t) {
  const size_t values = TelegramType(t) == kBlockValuesType ? BlockValueCount(t) : 0;
  return 6 * kLongestLine + 6 * values + 8;
}

// The report is formatted on the stack and handed on in pieces this large:
// larger than any line formatted in one piece, so that formatting always
// moves on, and large enough that the copy costs little.
const size_t kPieceSize = 4096;
static_assert(kPieceSize > kLongestLine + 8, "formatting in pieces moves on");

}  // namespace

extern "C" {

int tgr_decode(const void* bytes, size_t size, tgr_telegram* out) {
  if (!tgr::Sized(out) || (bytes == nullptr && size != 0)) return TGR_E_ARGUMENT;
  const Telegram t{static_cast<const unsigned char*>(bytes), size};
  tgr_telegram d = tgr::Blank<tgr_telegram>();
  d.size = size;
  d.total_size = TotalSize(t);
  d.header_byte4 = HeaderByte4(t);
  d.header_byte8 = HeaderByte8(t);
  d.type = TelegramType(t);
  if (d.type == kBeamRangeType) {
    d.beam_start = BeamStart(t);
    d.beam_stop = BeamStop(t);
    d.beam_step = BeamStep(t);
    d.beam_count = BeamCount(d.beam_start, d.beam_stop, d.beam_step);
  } else if (d.type == kBlockValuesType) {
    d.block_no = BlockNo(t);
    d.scan_no = ScanNo(t);
    d.value_count = BlockValueCount(t);
    if (d.value_count > 0) d.values = t.bytes + kBlockValuesOffset;
  }
  tgr::Fill(out, d);
  return TGR_OK;
}

size_t tgr_values(const tgr_telegram* telegram, size_t first, uint16_t* out, size_t capacity) {
  if (!tgr::Sized(telegram) || out == nullptr || telegram->values == nullptr || first >= telegram->value_count) return 0;
  const size_t count = telegram->value_count - first < capacity ? telegram->value_count - first : capacity;
  const uint8_t* p = telegram->values + 2 * first;
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint16_t>(p[2 * i] | p[2 * i + 1] << 8);
  return count;
}

int tgr_report(const void* bytes, size_t size, int line_ends, char* out, size_t capacity, size_t* length) {
  if (length == nullptr || (bytes == nullptr && size != 0) || (out == nullptr && capacity != 0) ||
      (line_ends != TGR_LINE_ENDS_AS_WRITTEN && line_ends != TGR_LINE_ENDS_CRLF)) {
    return TGR_E_ARGUMENT;
  }
  const Telegram t{static_cast<const unsigned char*>(bytes), size};
  const LineEnds ends = line_ends == TGR_LINE_ENDS_CRLF ? kLineEndsCrlf : kLineEndsAsWritten;
  if (capacity >= InPlaceRoom(t)) {
    InPlaceCheck check;
    ReportOutput output;
    output.OpenOn(out, capacity, ends, &check);
    FormatTelegram(t, &output);
    if (!check.overflowed()) {
      *length = output.used();
      return TGR_OK;
    }
    // Not reached while InPlaceRoom holds; the pieces below still give the
    // whole report if it did not.
  }
  char piece[kPieceSize];
  BufferDestination destination(out, capacity);
  ReportOutput output;
  output.OpenOn(piece, sizeof piece, ends, &destination);
  FormatTelegram(t, &output);
  output.Drain();
  if (output.failure() != 0) return TGR_E_MEMORY;
  *length = destination.counted();
  return destination.counted() <= capacity ? TGR_OK : TGR_E_SPACE;
}

size_t tgr_report_bound(const void* bytes, size_t size) {
  if (bytes == nullptr) size = 0;
  return InPlaceRoom(Telegram{static_cast<const unsigned char*>(bytes), size});
}

const char* tgr_version(void) { return TGR_VERSION_STRING; }

int tgr_version_number(void) { return TGR_VERSION_NUMBER; }

const char* tgr_strerror(int code) {
  switch (code) {
    case TGR_OK: return "success";
    case TGR_E_ARGUMENT: return "an argument is missing or out of its range";
    case TGR_E_SPACE: return "the buffer given is too small";
    case TGR_E_MEMORY: return "not enough memory";
    case TGR_E_TIMEOUT: return "nothing came within the time given";
    case TGR_E_CANCELLED: return "the wait was cancelled";
    case TGR_E_SOCKET: return "the system refused a socket call";
    case TGR_E_UNSUPPORTED: return "this system cannot do that";
    case TGR_E_FILE: return "a file could not be opened, read, written or closed";
    case TGR_E_END: return "nothing more: the end of the capture";
    case TGR_E_DAMAGED: return "the input is damaged, or not what it should be";
    default: return "unknown result code";
  }
}

}  // extern "C"
