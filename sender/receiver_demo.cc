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

#include "sender/demo_platform.h"
#include "sender/paced_sending.h"
#include "sender/udp_send.h"
#include "telegram/report_format.h"

namespace {

enum Readiness { kStarting, kReady, kNotReady };

// What the thread that passes the receiver's report on has seen of it.
struct Relay {
  std::mutex lock;
  std::condition_variable changed;
  std::string head;  // the first bytes, until readiness is decided
  Readiness readiness = kStarting;
  std::atomic<bool> ended{false};  // its output is closed
  std::atomic<long> reported{0};   // type lines passed on: telegrams the receiver reported
  std::string tail;                // the last bytes, in case a type line straddles two reads
  std::atomic<long long> read{0};  // bytes read of the receiver's output
  std::atomic<bool> writing{false};  // passing them on, to an output that may be slow
};

// Counts the type lines in what the receiver wrote, one read at a time.
void CountReported(Relay* relay, const char* bytes, size_t size) {
  const size_t start = FixedStartLength(kTypeLineFormat);
  std::string text = relay->tail;
  text.append(bytes, size);
  long found = 0;
  for (size_t at = text.find(kTypeLineFormat, 0, start); at != std::string::npos;
       at = text.find(kTypeLineFormat, at + start, start)) {
    ++found;
  }
  relay->reported += found;
  // Keep less than a whole line start, so that none is counted twice.
  relay->tail = text.substr(text.size() - std::min(text.size(), start - 1));
}

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

void PassOn(const ReceiverProcess* receiver, Relay* relay) {
  char chunk[65536];
  long n;
  bool writing = true;
  while ((n = ReadReceiverOutput(*receiver, chunk, sizeof chunk)) > 0) {
    // Should our own output fail, keep reading so that the receiver never
    // blocks on a full pipe.
    relay->read += n;
    relay->writing = true;
    if (writing) writing = WriteOwnOutput(chunk, static_cast<size_t>(n));
    relay->writing = false;
    CountReported(relay, chunk, static_cast<size_t>(n));
    std::lock_guard<std::mutex> hold(relay->lock);
    if (relay->readiness == kStarting) {
      relay->head.append(chunk, static_cast<size_t>(n));
      relay->readiness = Decide(relay->head);
      relay->changed.notify_all();
    }
  }
  std::lock_guard<std::mutex> hold(relay->lock);
  relay->ended = true;
  if (relay->readiness == kStarting) relay->readiness = kNotReady;
  relay->changed.notify_all();
}

}  // namespace

int RunReceiverDemo(const char* program, TelegramSource source, long rate, const char* host, uint16_t port,
                    const std::string& about_source) {
  ReceiverProcess receiver = {};
  char error[512];
  if (!StartReceiver(&receiver, program, error, sizeof error)) {
    fprintf(stderr, "telegram-sender: %s\n", error);
    return 1;
  }
  // Started after the receiver, which keeps its own way with interrupts.
  IgnoreInterrupts();
  Relay relay;
  std::thread pass_on(PassOn, &receiver, &relay);

  Readiness readiness;
  {
    std::unique_lock<std::mutex> hold(relay.lock);
    // Wine's first start in a new prefix takes several seconds.
    relay.changed.wait_for(hold, std::chrono::seconds(60), [&] { return relay.readiness != kStarting; });
    readiness = relay.readiness;
  }
  int status = 1;
  if (readiness != kReady) {
    if (readiness == kStarting) StopReceiver(receiver);
    pass_on.join();
    WaitForReceiver(&receiver, -1, &status);
    fprintf(stderr, "telegram-sender: %s %s (exit status %d), so nothing was sent\n", program,
            readiness == kStarting ? "did not put out its banner within 60 s and was stopped"
                                   : "ended before it was ready",
            status);
    return status != 0 ? status : 1;
  }

  UdpTarget target = {};
  SendTally tally = {};
  const bool opened = OpenUdpTarget(&target, host, port, error, sizeof error);
  int failure = 0;
  if (opened) {
    failure = SendTelegrams(source, rate, target, &relay.ended, &tally);
    CloseUdpTarget(&target);
  }

  // A whole run ends by itself once its last report is out. One that lost
  // telegrams waits for ever: once it has written nothing for a while (and
  // is not held up by a slow output of ours), it is stopped.
  const bool whole_run = opened && failure == 0 && tally.sent >= kDatagramLimit;
  bool ended = false;
  long long read = -1;
  while (!ended && (relay.read != read || relay.writing)) {
    read = relay.read;
    ended = WaitForReceiver(&receiver, whole_run ? 2000 : 1000, &status);
  }
  if (!ended) {
    StopReceiver(receiver);
    WaitForReceiver(&receiver, -1, &status);
  }
  pass_on.join();
  if (!opened) {
    fprintf(stderr, "telegram-sender: %s\n", error);
    return 1;
  }
  if (SayHowSendingWent(tally, failure, host, port, about_source) != 0) return 1;
  if (ended) return status;
  if (whole_run) {
    fprintf(stderr, "telegram-sender: %s reported %ld of the %ld telegrams sent and then waited for more: stopped it\n",
            program, relay.reported.load(), tally.sent);
    return 1;
  }
  fprintf(stderr, "telegram-sender: fewer than %d telegrams make no whole run: stopped %s\n", kDatagramLimit, program);
  return 0;
}
