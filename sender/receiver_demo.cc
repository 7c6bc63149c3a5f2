#include "sender/receiver_demo.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "net/socket.h"
#include "sender/demo_platform.h"
#include "sender/paced_sending.h"
#include "net/udp_target.h"
#include "telegram/report_format.h"

namespace {

enum Readiness { kStarting, kReady, kNotReady };

// Counts the type lines in what the receiver wrote, one read at a time.
class ReportedTelegrams {
 public:
  void Count(const char* bytes, size_t size) {
    const size_t start = FixedStartLength(kTypeLineFormat);
    std::string text = tail_;
    text.append(bytes, size);
    long found = 0;
    for (size_t at = text.find(kTypeLineFormat, 0, start); at != std::string::npos;
         at = text.find(kTypeLineFormat, at + start, start)) {
      ++found;
    }
    count_ += found;
    // Keep less than a whole line start, so that none is counted twice.
    tail_ = text.substr(text.size() - std::min(text.size(), start - 1));
  }
  long count() const { return count_; }

 private:
  std::string tail_;  // the last bytes, in case a type line straddles two reads
  std::atomic<long> count_{0};
};

// Ready once its first line is the banner and no error line follows. A
// receiver that cannot start puts out the banner, the error line and the
// closing lines in one write, so they arrive together.
// The banner is compared up to its line end, which a Windows text stream
// writes as "\r\n".
Readiness Decide(const std::string& head) {
  const size_t banner = strlen(kBannerLine) - 1;
  const size_t known = head.size() < banner ? head.size() : banner;
  if (head.compare(0, known, kBannerLine, known) != 0) return kNotReady;
  const size_t line_end = head.find('\n');
  if (line_end == std::string::npos) return kStarting;
  const size_t error_start = FixedStartLength(kErrorLineFormat);
  const std::string rest = head.substr(line_end + 1);
  return rest.compare(0, error_start, kErrorLineFormat, error_start) == 0 ? kNotReady : kReady;
}

// The thread that passes the receiver's report on to the demo's own
// output, every byte of it, until the receiver's output ends. Destroying
// it stops a receiver still running and waits for the thread, which then
// reads to the end of what the receiver wrote; only after that may the
// receiver's pipe be closed.
class Relay {
 public:
  explicit Relay(ReceiverProcess* receiver) : receiver_(receiver), thread_(&Relay::PassOn, this) {}
  ~Relay() {
    receiver_->Stop();
    Finish();
  }
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

  // Waits up to `timeout` until readiness is decided.
  Readiness AwaitReadiness(std::chrono::seconds timeout) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait_for(hold, timeout, [this] { return readiness_ != kStarting; });
    return readiness_;
  }
  // Waits until every byte the receiver wrote has been passed on: until
  // its output ends.
  void Finish() {
    if (thread_.joinable()) thread_.join();
  }

  const std::atomic<bool>& ended() const { return ended_; }
  long long read() const { return read_; }
  bool writing() const { return writing_; }
  long reported() const { return reported_.count(); }
  // The error code of the first write that failed, or 0.
  int write_failure() const { return write_failure_; }

 private:
  void PassOn() {
    char chunk[65536];
    long n = 0;
    // A failed read is the end of the output too: nothing more can come.
    while (receiver_->ReadOutput(chunk, sizeof chunk, &n) == 0 && n > 0) {
      read_ += n;
      // Should our own output fail, keep reading so that the receiver never
      // blocks on a full pipe.
      writing_ = true;
      if (write_failure_ == 0) write_failure_ = WriteOwnOutput(chunk, static_cast<size_t>(n));
      writing_ = false;
      reported_.Count(chunk, static_cast<size_t>(n));
      std::lock_guard<std::mutex> hold(lock_);
      if (readiness_ == kStarting) {
        head_.append(chunk, static_cast<size_t>(n));
        readiness_ = Decide(head_);
        changed_.notify_all();
      }
    }
    std::lock_guard<std::mutex> hold(lock_);
    ended_ = true;
    if (readiness_ == kStarting) readiness_ = kNotReady;
    changed_.notify_all();
  }

  ReceiverProcess* receiver_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::string head_;  // the first bytes, until readiness is decided
  Readiness readiness_ = kStarting;
  std::atomic<bool> ended_{false};       // its output is closed
  std::atomic<long long> read_{0};       // bytes read of the receiver's output
  std::atomic<bool> writing_{false};     // passing them on, to an output that may be slow
  std::atomic<int> write_failure_{0};
  ReportedTelegrams reported_;
  std::thread thread_;  // last: started once all else is ready
};

// Says on standard error that the report could not be passed on, if so;
// false then.
bool SayOutputFailure(const Relay& relay) {
  if (relay.write_failure() == 0) return true;
  char cause[256];
  NetDescribeError(relay.write_failure(), cause, sizeof cause);
  fprintf(stderr, "telegram-sender: cannot pass the receiver's report on to standard output: %s\n", cause);
  return false;
}

}  // namespace

int RunReceiverDemo(const char* program, TelegramSource* source, long rate, const char* host, uint16_t port,
                    const std::string& about_source) {
  ReceiverProcess receiver;
  const int started = receiver.Start(program);
  if (started != 0) {
    char cause[256];
    NetDescribeError(started, cause, sizeof cause);
    fprintf(stderr, "telegram-sender: cannot start %s: %s\n", program, cause);
    return 1;
  }
  // Started after the receiver, which keeps its own way with interrupts.
  IgnoreInterrupts();
  // Destroyed before the receiver, whose output it reads.
  Relay relay(&receiver);
  int status = 1;
  // Wine's first start in a new prefix takes several seconds.
  const Readiness readiness = relay.AwaitReadiness(std::chrono::seconds(60));
  if (readiness != kReady) {
    if (readiness == kStarting) receiver.Stop();
    receiver.Wait(-1, &status);
    relay.Finish();
    fprintf(stderr, "telegram-sender: %s %s (exit status %d), so nothing was sent\n", program,
            readiness == kStarting ? "did not put out its banner within 60 s and was stopped"
                                   : "ended before it was ready",
            status);
    if (!SayOutputFailure(relay)) return 1;
    return status != 0 ? status : 1;
  }

  UdpTarget target;
  SendTally tally = {};
  std::string failure;
  std::string err;
  const bool opened = target.Open(host, port, &err);
  if (opened) SendTelegrams(source, rate, target, &relay.ended(), &tally, &failure);

  // A whole run ends by itself once its last report is out. One that lost
  // telegrams waits for ever: once it has written nothing for a while (and
  // is not held up by a slow output of ours), it is stopped.
  const bool whole_run = opened && failure.empty() && tally.sent >= kDatagramLimit;
  bool ended = false;
  long long read = -1;
  while (!ended && (relay.read() != read || relay.writing())) {
    read = relay.read();
    ended = receiver.Wait(whole_run ? 2000 : 1000, &status);
  }
  if (!ended) {
    receiver.Stop();
    receiver.Wait(-1, &status);
  }
  // Every byte it wrote is passed on before the demo says how it went.
  relay.Finish();
  if (!opened) {
    fprintf(stderr, "telegram-sender: %s\n", err.c_str());
    return 1;
  }
  if (SayHowSendingWent(tally, failure, host, port, about_source) != 0) return 1;
  if (!SayOutputFailure(relay)) return 1;
  if (ended) return status;
  if (whole_run) {
    fprintf(stderr, "telegram-sender: %s reported %ld of the %ld telegrams sent and then waited for more: stopped it\n",
            program, relay.reported(), tally.sent);
    return 1;
  }
  fprintf(stderr, "telegram-sender: fewer than %d telegrams make no whole run: stopped %s\n", kDatagramLimit, program);
  return 0;
}
