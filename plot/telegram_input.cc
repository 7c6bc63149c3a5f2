#include "plot/telegram_input.h"

#include <algorithm>
#include <charconv>

#include "telegram/report_format.h"
#include "telegram/telegram_layout.h"

namespace {

// Telegrams taken in one call at most, so that the page and the folder hear
// of them as they come, whatever the rate.
const int kBatch = 64;

}  // namespace

void AppendValueText(const uint8_t* values, size_t count, std::string* out) {
  const size_t start = out->size();
  out->resize(start + 6 * count);  // five digits and a tab each, at most
  char* at = out->data() + start;
  for (size_t i = 0; i < count; ++i) {
    const unsigned value = values[2 * i] | static_cast<unsigned>(values[2 * i + 1]) << 8;
    at = std::to_chars(at, at + 5, value).ptr;
    *at++ = kBlockValueSeparator;
  }
  out->resize(static_cast<size_t>(at - out->data()));
}

bool BlockOfTelegram(const unsigned char* bytes, size_t size, long telegram, const std::string& source,
                     ReportBlock* block) {
  const tgr::Telegram t = tgr::Telegram::Decode(bytes, size);
  if (t.type != TGR_TYPE_BLOCK_VALUES || t.value_count == 0) return false;
  block->line = 0;
  block->telegram = telegram;
  // TotalSize - 20 as the report prints it: a signed 32-bit number.
  block->size = static_cast<int32_t>(t.total_size - static_cast<uint32_t>(kHeaderSize));
  block->scan_no = t.scan_no;
  block->block_no = t.block_no;
  block->values.clear();
  block->cut_short = false;
  block->text.clear();
  AppendValueText(t.values, t.value_count, &block->text);
  block->text_values = t.value_count;
  block->source = source;
  return true;
}

bool TelegramInput::Open(const TelegramInputPlan& plan, std::string* err) {
  plan_ = plan;
  std::string words;
  if (!plan_.capture.empty()) {
    if (capture_.Open(plan_.capture, plan_.port, &words) != TGR_OK) {
      *err = words;
      return false;
    }
    return true;
  }
  if (receiver_.Open(plan_.address, plan_.port, &words, 0, plan_.interface_name) != TGR_OK) {
    *err = "cannot receive on " + Name() + ": " + words;
    return false;
  }
  buffer_.resize(TGR_MAX_TELEGRAM_SIZE);
  return true;
}

std::string TelegramInput::Name() const {
  if (!plan_.capture.empty()) return plan_.capture;
  // The port taken, where 0 asked for any free one.
  std::string port = "UDP port " + std::to_string(receiver_.is_open() ? receiver_.port() : plan_.port);
  if (plan_.address.empty()) return port;
  if (receiver_.is_open() && receiver_.multicast()) {
    return "the multicast group " + plan_.address + ", " + port +
           (plan_.interface_name.empty() ? "" : " on " + plan_.interface_name);
  }
  return port + " on " + plan_.address;
}

bool TelegramInput::Take(const unsigned char* bytes, const tgr_datagram& datagram, std::vector<ReportBlock>* blocks) {
  const SourceAddress source{datagram.source_address, datagram.source_port};
  if (!plan_.sources.Keeps(source)) {
    ++ignored_;
    return false;
  }
  ++telegrams_;
  if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) {
    if (sources_.size() < kSourcesNamed) {
      sources_.push_back(source);
    } else {
      more_sources_ = true;
    }
  }
  ReportBlock block;
  if (!BlockOfTelegram(bytes, datagram.size, telegrams_, SourceText(source), &block)) return false;
  blocks->push_back(std::move(block));
  return true;
}

InputStep TelegramInput::EndOfCapture() {
  const tgr_capture_summary summary = capture_.Summary();
  whole_ = summary.end == TGR_CAPTURE_WHOLE;
  cut_short_ = summary.end == TGR_CAPTURE_CUT_SHORT;
  if (summary.end == TGR_CAPTURE_DAMAGED) error_ = capture_.error();
  return InputStep::kEnd;
}

InputStep TelegramInput::Next(int wait_ms, std::vector<ReportBlock>* blocks) {
  tgr::Datagram datagram;
  if (!plan_.capture.empty()) {
    for (int i = 0; i < kBatch; ++i) {
      const unsigned char* bytes = nullptr;
      const int result = capture_.Next(&bytes, &datagram);
      if (result == TGR_E_END) return EndOfCapture();
      if (result != TGR_OK) {
        error_ = capture_.error();
        return InputStep::kFailed;
      }
      Take(bytes, datagram, blocks);
    }
    return InputStep::kMore;
  }
  // The first waits; those already there follow without waiting.
  for (int i = 0; i < kBatch; ++i) {
    const int result = receiver_.Next(i == 0 ? wait_ms : 0, buffer_.data(), buffer_.size(), &datagram);
    if (result == TGR_E_TIMEOUT || result == TGR_E_CANCELLED) return InputStep::kMore;
    if (result != TGR_OK) {
      error_ = receiver_.error();
      return InputStep::kFailed;
    }
    Take(buffer_.data(), datagram, blocks);
  }
  return InputStep::kMore;
}
