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

#include "record/broker_link.h"
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
  bool StartBroker(std::string* err);
  // One telegram received (sent to `destination`:`port`): counted,
  // recorded, published, offered to the output.
  bool Take(const tgr_datagram& datagram, uint32_t destination, uint16_t port);
  // The next telegram from the UDP port or the broker, waiting up to
  // `wait_ms`: a tgr result code.
  int Next(int wait_ms, tgr_datagram* datagram, uint32_t* destination, uint16_t* port);
  // A broker that refused the connection ends the run, said once.
  bool BrokerRefused();
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
  const bool subscribing_ = !options_.subscribe_text.empty();
  BrokerPublisher publisher_;
  BrokerSubscriber subscriber_;
  bool refused_ = false;
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
  if (!subscribing_ &&
      receiver_.Open(options_.address, static_cast<uint16_t>(options_.port), &err, 0, options_.interface_name) !=
          TGR_OK) {
    Say(err);
    return false;
  }
  if (!StartBroker(&err)) {
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
  if (!options_.publish_text.empty()) into += ", publishing to " + BrokerUrlText(options_.publish);
  if (subscribing_) {
    Say("receiving from the broker at " + BrokerUrlText(options_.subscribe) +
        (options_.sources.empty() ? "" : ", from " + options_.sources.Text() + " only") + until + into);
  } else {
    Say("receiving on UDP port " + std::to_string(receiver_.port()) + " on " + on + until + into);
  }
  return true;
}

bool Run::StartBroker(std::string* err) {
  BrokerAccess access;
  access.ca_file = options_.ca_file;
  access.backlog = options_.backlog;
  if (subscribing_) {
    access.url = options_.subscribe;
    if (!subscriber_.Start(access, err)) return false;
  }
  if (!options_.publish_text.empty()) {
    access.url = options_.publish;
    if (!publisher_.Start(access, err)) return false;
  }
  return true;
}

bool Run::BrokerRefused() {
  if (refused_) return true;
  const BrokerCounts counts = subscribing_ ? subscriber_.Counts() : publisher_.Counts();
  const BrokerCounts published = publisher_.Counts();
  const std::string& words = !counts.refused.empty() ? counts.refused : published.refused;
  if (words.empty()) return false;
  const BrokerUrl& url = !counts.refused.empty() && subscribing_ ? options_.subscribe : options_.publish;
  failure_ = "the broker at " + BrokerUrlText(url) + " refused the connection: " + words;
  refused_ = true;
  return true;
}

int Run::Next(int wait_ms, tgr_datagram* datagram, uint32_t* destination, uint16_t* port) {
  if (!subscribing_) {
    const int result = receiver_.Next(wait_ms, buffer_, sizeof buffer_, datagram);
    *destination = receiver_.destination();
    *port = receiver_.port();
    return result;
  }
  // At a stop, what is already queued is still taken (Drain asks without waiting).
  if (control_.stop_requested() && wait_ms > 0) return TGR_E_CANCELLED;
  if (subscriber_.Next(std::chrono::milliseconds(wait_ms), buffer_, datagram, destination, port)) return TGR_OK;
  return control_.stop_requested() ? TGR_E_CANCELLED : TGR_E_TIMEOUT;
}

bool Run::Take(const tgr_datagram& datagram, uint32_t destination, uint16_t port) {
  const SourceAddress source{datagram.source_address, datagram.source_port};
  if (!options_.sources.Keeps(source)) {
    ++ignored_;
    return true;
  }
  ++telegrams_;
  bytes_ += datagram.size;
  counts_.Add(source, buffer_, datagram.size);
  std::string err;
  if (!options_.record.empty() && !recording_.Write(datagram, buffer_, destination, port, &err)) {
    failure_ = err;
    return false;
  }
  if (!options_.publish_text.empty()) publisher_.Publish(datagram, buffer_, destination, port);
  output_.Offer(datagram, buffer_);
  return true;
}

void Run::Drain(Ending ending) {
  // What came before the end is told by its arrival (the system's stamp on
  // Linux); without one, what is waiting now.
  const int64_t end_ns = WallNs();
  const Clock::time_point until = Clock::now() + kLongestDrain;
  tgr::Datagram datagram;
  uint32_t destination = 0;
  uint16_t port = 0;
  while (Clock::now() < until && Next(0, &datagram, &destination, &port) == TGR_OK) {
    if (ending == kCountReached) {
      ++left_;
    } else if (!Take(datagram, destination, port)) {
      return;
    }
    // A broker's telegram carries its publisher's time of arrival.
    if ((datagram.kernel_time != 0 || subscribing_) && datagram.time_ns > end_ns) return;  // it came after the end
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
  // A subscriber's own counts; a publisher's are those of what it sends on.
  if (subscribing_ || !options_.publish_text.empty()) {
    const BrokerCounts counts = subscribing_ ? subscriber_.Counts() : publisher_.Counts();
    run.broker.subscribing = subscribing_;
    run.broker.publishing = !subscribing_;
    run.broker.connected = counts.connected;
    run.broker.passed = counts.passed;
    run.broker.not_passed = counts.not_passed;
    run.broker.unreadable = counts.unreadable;
  }
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
    uint32_t destination = 0;
    uint16_t port = 0;
    const int result = Next(wait, &datagram, &destination, &port);
    if (result == TGR_OK) {
      if (!Take(datagram, destination, port)) ending = kFailed;
      if (options_.count > 0 && telegrams_ >= static_cast<uint64_t>(options_.count)) ending = kCountReached;
    } else if (result == TGR_E_CANCELLED) {
      ending = kStopped;
    } else if (result != TGR_E_TIMEOUT) {
      failure_ = receiver_.error();
      ending = kFailed;
    }
    if (output_.failure() != 0 || BrokerRefused()) ending = kFailed;
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
  publisher_.Finish(kReaderGrace);
  subscriber_.Finish();
  // The report's closing lines end it whatever ended the run, unless the
  // output itself failed (the writer then writes nothing more).
  output_.Finish(options_.format == kFormatReport, control_, kReaderGrace);
  LookAround(true);
  stats_.Finish(kReaderGrace);
  if (status_line_) fputs("\r\n", stderr);
  SayStatsFailure();
  // A login refused before anything came is one line.
  if (refused_ && telegrams_ == 0) {
    Say(failure_);
    return 2;
  }
  if (!failure_.empty()) {
    Say(failure_);
    status = refused_ ? 2 : 1;
  }
  if (output_.failure() != 0) {
    Say(std::string("cannot write to standard output: ") + strerror(output_.failure()));
    status = 1;
  }
  if (!options_.record.empty()) {
    Say(Counted(recording_.packets(), "telegram", "telegrams") + " recorded " + recording_.Where());
  }
  if (!options_.publish_text.empty()) {
    const BrokerCounts published = publisher_.Counts();
    std::string words = Counted(published.passed, "telegram", "telegrams") + " published to " +
                        BrokerUrlText(options_.publish) + ", each confirmed by the broker";
    if (published.not_passed > 0) {
      words += "; " + Counted(published.not_passed, "telegram", "telegrams") +
               " not published (the broker was away, or behind by --backlog)";
    }
    if (published.unconfirmed > 0) {
      words += "; " + Counted(published.unconfirmed, "telegram was", "telegrams were") +
               " sent and not confirmed by the end";
    }
    Say(words);
  }
  if (subscribing_) {
    const BrokerCounts taken = subscriber_.Counts();
    if (taken.not_passed > 0) {
      Say(Counted(taken.not_passed, "telegram", "telegrams") + " from the broker not taken: no room in --backlog");
    }
    if (taken.unreadable > 0) {
      Say(Counted(taken.unreadable, "message", "messages") + " from the broker passed over: " +
          "larger than a telegram, or a time, source or destination that cannot be read");
    }
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
