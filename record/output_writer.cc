#include "record/output_writer.h"

#include <condition_variable>
#include <mutex>
#include <system_error>

#include "record/datagram_queue.h"
#include "record/run_control.h"
#include "record/telegram_lines.h"
#include "telegram/report_format.h"
#include "tgr/tgr.hpp"

namespace {

// Telegrams waiting are formatted into one piece of about this much before
// it is written: few writes, and little held back.
const size_t kPiece = size_t{256} * 1024;

// A fixed line of the report with the line ends standard output needs.
void AppendLine(const char* text, LineEnds line_ends, std::string* out) {
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '\n' && line_ends == kLineEndsCrlf) out->push_back('\r');
    out->push_back(*c);
  }
}

}  // namespace

struct OutputWriter::State {
  DatagramQueue queue;
  OutputFormat format = kFormatReport;
  LineEnds line_ends = kLineEndsAsWritten;
  std::atomic<uint64_t> written_bytes{0};
  std::atomic<uint64_t> skipped{0};
  std::atomic<uint64_t> in_flight{0};  // telegrams in the piece being written
  std::atomic<int> failure{0};
  std::atomic<bool> closing{false};
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;

  // One telegram, in the format asked for, onto the end of `out`.
  void Format(const tgr_datagram& datagram, const unsigned char* bytes, std::string* out) const {
    if (format == kFormatReport) {
      // Formatted in place, in the room the bound gives.
      const size_t at = out->size();
      out->resize(at + tgr_report_bound(bytes, datagram.size));
      size_t length = 0;
      tgr_report(bytes, datagram.size, line_ends == kLineEndsCrlf ? TGR_LINE_ENDS_CRLF : TGR_LINE_ENDS_AS_WRITTEN,
                 &(*out)[at], out->size() - at, &length);
      out->resize(at + length);
      return;
    }
    const tgr::Telegram t = tgr::Telegram::Decode(bytes, datagram.size);
    if (format == kFormatCsv) {
      AppendCsvRow(datagram, t, out);
    } else {
      AppendJsonLine(datagram, t, out);
    }
  }

  // Writes `out`, counting its `telegrams` as in flight; false on a failure.
  bool Write(const std::string& out, uint64_t telegrams) {
    in_flight.store(telegrams);
    const int result = WriteStandardOutput(out.data(), out.size(), &written_bytes);
    in_flight.store(0);
    if (result == 0) return true;
    failure.store(result);
    skipped.fetch_add(telegrams);
    return false;
  }

  void Run(std::string opening) {
    std::string out = std::move(opening);
    bool writing = out.empty() || Write(out, 0);
    while (writing) {
      tgr_datagram datagram;
      const unsigned char* bytes = nullptr;
      if (!queue.Peek(std::chrono::milliseconds(100), &datagram, &bytes)) {
        if (queue.closed_and_empty()) break;
        continue;
      }
      out.clear();
      uint64_t telegrams = 0;
      do {
        Format(datagram, bytes, &out);
        queue.Release();
        ++telegrams;
      } while (out.size() < kPiece && queue.Peek(std::chrono::milliseconds(0), &datagram, &bytes));
      writing = Write(out, telegrams);
    }
    if (writing && closing.load() && format == kFormatReport) {
      out.clear();
      AppendLine(kClosingLine, line_ends, &out);
      AppendLine(kExitLine, line_ends, &out);
      Write(out, 0);
    }
    // After a failure what waits is not written.
    tgr_datagram datagram;
    const unsigned char* bytes = nullptr;
    while (queue.Peek(std::chrono::milliseconds(0), &datagram, &bytes)) {
      queue.Release();
      skipped.fetch_add(1);
    }
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    finished.notify_all();
  }
};

OutputWriter::~OutputWriter() {
  if (!thread_.joinable()) return;
  state_->queue.Close();
  // Its state is its own as well: it may go on alone.
  thread_.detach();
}

bool OutputWriter::Start(OutputFormat format, LineEnds line_ends, size_t backlog, std::string* err) {
  state_ = std::make_shared<State>();
  state_->format = format;
  state_->line_ends = line_ends;
  if (!state_->queue.Allocate(backlog)) {
    *err = "not enough memory for a backlog of " + std::to_string(backlog) + " bytes (--backlog)";
    return false;
  }
  std::string opening;
  if (format == kFormatReport) AppendLine(kBannerLine, line_ends, &opening);
  if (format == kFormatCsv) AppendCsvHeader(&opening);
  try {
    thread_ = std::thread([state = state_, opening]() mutable { state->Run(std::move(opening)); });
  } catch (const std::system_error& thrown) {
    *err = std::string("cannot start the thread that writes standard output: ") + thrown.what();
    return false;
  }
  return true;
}

void OutputWriter::Offer(const tgr_datagram& datagram, const unsigned char* bytes) {
  if (state_->failure.load() != 0 || !state_->queue.Push(datagram, bytes)) state_->skipped.fetch_add(1);
}

void OutputWriter::Finish(bool closing, const RunControl& control, std::chrono::milliseconds grace) {
  if (!thread_.joinable()) return;
  state_->closing.store(closing);
  state_->queue.Close();
  uint64_t seen = state_->written_bytes.load();
  auto progressed = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(state_->mutex);
  while (!state_->done) {
    state_->finished.wait_for(lock, std::chrono::milliseconds(50));
    if (state_->done) break;
    const auto now = std::chrono::steady_clock::now();
    const uint64_t written = state_->written_bytes.load();
    if (!control.stop_requested() || written != seen) {
      seen = written;
      progressed = now;
    } else if (now - progressed >= grace) {
      // After a stop, a reader that takes nothing is not waited for: what
      // it did not take is counted, and the thread let go.
      lock.unlock();
      left_skipped_ = state_->skipped.load() + state_->in_flight.load() + state_->queue.waiting();
      left_ = true;
      thread_.detach();
      return;
    }
  }
  lock.unlock();
  thread_.join();
}

uint64_t OutputWriter::skipped() const {
  if (left_) return left_skipped_;
  return state_ ? state_->skipped.load() : 0;
}

int OutputWriter::failure() const { return state_ ? state_->failure.load() : 0; }

uint64_t OutputWriter::waiting() const { return state_ ? state_->queue.waiting() : 0; }
