// telegram-record: receives the scanner's telegrams on a UDP port, records
// them into pcapng if asked, writes each to standard output as the
// receiver's report, CSV or JSON Lines, and at the end says how many came
// and how many were lost. Built on the tgr library.
//
// This thread receives, records and counts, and never waits for anything
// else: standard output is written by a thread of its own from a bounded
// queue (output_writer.h), the live statistics by another
// (stats_writer.h). So a reader that falls behind costs the output, never
// the recording.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "record/output_writer.h"
#include "record/record_options.h"
#include "record/recording.h"
#include "record/run_control.h"
#include "record/run_summary.h"
#include "record/source_counts.h"
#include "record/stats_writer.h"
#include "receiver/standard_output.h"
#include "tgr/tgr.hpp"

namespace {

using Clock = std::chrono::steady_clock;

const char kProgram[] = "telegram-record";

// After a stop, how long a reader of standard output may take nothing before
// it is left, and how long the statistics may take to be written.
const std::chrono::milliseconds kReaderGrace(1000);
// The longest the telegrams still waiting in the socket at a stop are taken
// for, under a flood that never lets it empty.
const std::chrono::milliseconds kLongestDrain(2000);
// The receive waits no longer than this, so that the run looks at its
// clock, its output and its status often enough.
const int kLookMs = 200;

void Say(const std::string& words) { fprintf(stderr, "%s: %s\n", kProgram, words.c_str()); }

int64_t WallNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string SecondsText(double seconds) {
  char text[32];
  snprintf(text, sizeof text, "%g s", seconds);
  return text;
}

// How the run ended.
enum Ending { kGoingOn, kCountReached, kTimeUp, kStopped, kFailed };

class Run {
 public:
  explicit Run(const RecordOptions& options) : options_(options) {}

  int Go();

 private:
  bool SetUp(int* status);
  // One telegram received: counted, recorded, offered to the output.
  bool Take(const tgr_datagram& datagram);
  // The telegrams that came before the end and still wait in the socket:
  // taken (recorded and counted) after a stop or at the time's end; after
  // the count, counted and said.
  void Drain(Ending ending);
  // The status line and the statistics, now and then.
  void LookAround(bool final);
  // A failure to write the statistics, said once.
  void SayStatsFailure();
  RunNumbers Numbers();
  int Finish();

  const RecordOptions& options_;
  LineEnds line_ends_ = kLineEndsAsWritten;
  tgr::Receiver receiver_;
  Recording recording_;
  RunControl control_;
  OutputWriter output_;
  StatsWriter stats_;
  SourceCounts counts_;
  unsigned char buffer_[TGR_MAX_TELEGRAM_SIZE] = {};
  uint64_t telegrams_ = 0;
  uint64_t bytes_ = 0;
  uint64_t left_ = 0;  // came before the end, not taken: beyond the count
  uint64_t ignored_ = 0;  // from sources not kept
  Clock::time_point started_;
  double seconds_ = 0;  // the run's, once it is over
  bool ended_ = false;
  bool status_line_ = false;
  Clock::time_point shown_;
  Clock::time_point stats_at_;
  uint64_t stats_telegrams_ = 0;
  uint64_t stats_bytes_ = 0;
  bool stats_failure_said_ = false;
  std::string failure_;  // why the run ended on a failure
};

bool Run::SetUp(int* status) {
  *status = 2;
  if (!SetUpStandardOutput(&line_ends_)) {
    Say("standard output is closed, so the telegrams have nowhere to go");
    *status = 1;
    return false;
  }
  std::string err;
  if (receiver_.Open(options_.address, static_cast<uint16_t>(options_.port), &err, 0, options_.interface_name) !=
      TGR_OK) {
    Say(err);
    return false;
  }
  if (!options_.record.empty()) {
    const RecordingPlan plan{options_.record, options_.rotate_size, options_.rotate_time, options_.ring};
    if (!recording_.Open(plan, WallNs(), &err)) {
      Say(err);
      return false;
    }
  }
  const int started = control_.Start(&receiver_);
  if (started != 0) {
    Say(std::string("cannot take Ctrl-C: ") + strerror(started));
    return false;
  }
  if (!output_.Start(options_.format, line_ends_, options_.backlog, &err) ||
      (!options_.stats.empty() && !stats_.Start(options_.stats, &err))) {
    Say(err);
    return false;
  }
  std::string until;
  if (options_.count > 0) until += ", " + Counted(static_cast<uint64_t>(options_.count), "telegram", "telegrams");
  if (options_.duration > 0) until += (options_.count > 0 ? " or " : ", for ") + SecondsText(options_.duration);
  if (until.empty()) until = ", until Ctrl-C";
  std::string into;
  if (!options_.record.empty()) {
    into = ", recording into " + recording_.current();
    if (recording_.rotating()) {
      into += " (a new file";
      if (options_.rotate_size > 0) into += " at " + Grouped(options_.rotate_size) + " bytes";
      if (options_.rotate_time > 0) {
        into += std::string(options_.rotate_size > 0 ? " or" : "") + " every " + SecondsText(static_cast<double>(options_.rotate_time));
      }
      if (options_.ring > 0) into += ", the newest " + std::to_string(options_.ring) + " kept";
      into += ")";
    }
  }
  std::string on = options_.address.empty() ? std::string("every IPv4 address") : options_.address;
  if (receiver_.multicast()) {
    on = "the multicast group " + options_.address + " (joined on " +
         (options_.interface_name.empty() ? std::string("the system's default interface")
                                          : "the interface " + options_.interface_name) +
         ")";
  }
  if (!options_.sources.empty()) on += ", from " + options_.sources.Text() + " only";
  Say("receiving on UDP port " + std::to_string(receiver_.port()) + " on " + on + until + into);
  return true;
}

bool Run::Take(const tgr_datagram& datagram) {
  const SourceAddress source{datagram.source_address, datagram.source_port};
  if (!options_.sources.Keeps(source)) {
    ++ignored_;
    return true;
  }
  ++telegrams_;
  bytes_ += datagram.size;
  counts_.Add(source, buffer_, datagram.size);
  std::string err;
  if (!options_.record.empty() &&
      !recording_.Write(datagram, buffer_, receiver_.destination(), receiver_.port(), &err)) {
    failure_ = err;
    return false;
  }
  output_.Offer(datagram, buffer_);
  return true;
}

void Run::Drain(Ending ending) {
  // What came before the end is told by its arrival (the system's stamp on
  // Linux); without one, what is waiting now.
  const int64_t end_ns = WallNs();
  const Clock::time_point until = Clock::now() + kLongestDrain;
  tgr::Datagram datagram;
  while (Clock::now() < until && receiver_.Next(0, buffer_, sizeof buffer_, &datagram) == TGR_OK) {
    if (ending == kCountReached) {
      ++left_;
    } else if (!Take(datagram)) {
      return;
    }
    if (datagram.kernel_time != 0 && datagram.time_ns > end_ns) return;  // it came after the end
  }
}

RunNumbers Run::Numbers() {
  RunNumbers run;
  run.telegrams = telegrams_;
  run.bytes = bytes_;
  run.seconds = ended_ ? seconds_ : SecondsSince(started_);
  run.drops_known = receiver_.Drops(&run.dropped, &run.dropped_system_wide) == TGR_OK;
  run.sources = counts_.Each();
  run.sequence = counts_.Totals().sequence;
  run.sources_seen = counts_.sources();
  run.ignored = ignored_;
  run.not_written = output_.skipped();
  return run;
}

void Run::LookAround(bool final) {
  const Clock::time_point now = Clock::now();
  if (status_line_ && (final || now - shown_ >= std::chrono::milliseconds(500))) {
    fprintf(stderr, "\r%s   ", StatusLine(Numbers()).c_str());
    fflush(stderr);
    shown_ = now;
  }
  if (options_.stats.empty()) return;
  const double interval = std::chrono::duration<double>(now - stats_at_).count();
  if (final || interval >= options_.stats_interval) {
    const StatsInterval since{WallNs(), interval, telegrams_ - stats_telegrams_, bytes_ - stats_bytes_};
    stats_.Post(StatsJson(Numbers(), since, recording_.current(), recording_.packets(), final));
    stats_at_ = now;
    stats_telegrams_ = telegrams_;
    stats_bytes_ = bytes_;
  }
  SayStatsFailure();
}

void Run::SayStatsFailure() {
  const std::string failure = stats_.failure();
  if (failure.empty() || stats_failure_said_) return;
  if (status_line_) fputs("\r\n", stderr);
  Say(failure + (ended_ ? "" : "; the run goes on without them"));
  stats_failure_said_ = true;
}

int Run::Go() {
  int status = 0;
  if (!SetUp(&status)) return status;
  status_line_ = StandardErrorIsTerminal();
  started_ = shown_ = stats_at_ = Clock::now();
  const Clock::time_point deadline =
      started_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options_.duration));
  Ending ending = kGoingOn;
  tgr::Datagram datagram;
  while (ending == kGoingOn) {
    int wait = kLookMs;
    if (options_.duration > 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        ending = kTimeUp;
        break;
      }
      if (left < wait) wait = static_cast<int>(left);
    }
    const int result = receiver_.Next(wait, buffer_, sizeof buffer_, &datagram);
    if (result == TGR_OK) {
      if (!Take(datagram)) ending = kFailed;
      if (options_.count > 0 && telegrams_ >= static_cast<uint64_t>(options_.count)) ending = kCountReached;
    } else if (result == TGR_E_CANCELLED) {
      ending = kStopped;
    } else if (result != TGR_E_TIMEOUT) {
      failure_ = receiver_.error();
      ending = kFailed;
    }
    if (output_.failure() != 0) ending = kFailed;
    LookAround(false);
  }
  if (ending != kFailed) Drain(ending);
  return Finish();
}

int Run::Finish() {
  seconds_ = SecondsSince(started_);
  ended_ = true;
  int status = 0;
  // The recording first: it is whole whatever the output does.
  std::string err;
  if (!options_.record.empty() && !recording_.Close(&err) && failure_.empty()) failure_ = err;
  // The report's closing lines end it whatever ended the run, unless the
  // output itself failed (the writer then writes nothing more).
  output_.Finish(options_.format == kFormatReport, control_, kReaderGrace);
  LookAround(true);
  stats_.Finish(kReaderGrace);
  if (status_line_) fputs("\r\n", stderr);
  SayStatsFailure();
  if (!failure_.empty()) {
    Say(failure_);
    status = 1;
  }
  if (output_.failure() != 0) {
    Say(std::string("cannot write to standard output: ") + strerror(output_.failure()));
    status = 1;
  }
  if (!options_.record.empty()) {
    Say(Counted(recording_.packets(), "telegram", "telegrams") + " recorded " + recording_.Where());
  }
  const uint64_t skipped = output_.skipped();
  if (skipped > 0) {
    Say(Counted(skipped, "telegram", "telegrams") + " not written to standard output: " +
        (output_.failure() != 0 ? "it failed" : "its reader fell behind"));
  }
  if (left_ > 0) {
    Say(Counted(left_, "more telegram was", "more telegrams were") + " waiting when the count was reached: " +
        "not taken, not recorded");
  }
  if (ignored_ > 0) {
    Say(Counted(ignored_, "telegram", "telegrams") + " from other sources than " + options_.sources.Text() +
        " ignored: not recorded, not written, not counted");
  }
  const RunNumbers numbers = Numbers();
  if (numbers.sources.size() > 1) {
    for (const SourceNumbers& source : numbers.sources) Say(SourceLine(source, numbers.seconds));
  }
  Say(SummaryLine(numbers));
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  RecordOptions options;
  std::string err;
  const CommandLineResult result = ParseRecordOptions(argc, argv, &options, &err);
  int status = 0;
  if (AnswerCommandLine(result, kProgram, RecordUsage, err, &status)) return status;
  // Large (its receive buffer): not on the stack.
  const std::unique_ptr<Run> run(new (std::nothrow) Run(options));
  if (!run) {
    Say("not enough memory to start");
    return 2;
  }
  return run->Go();
}
