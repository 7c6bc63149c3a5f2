#include "sender/paced_sending.h"

#include <cstdint>
#include <cstdio>

#include "sender/clock.h"

namespace {

bool Stopped(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(); }

// Sleeps until `deadline`, looking at `stop` every tenth of a second, so
// that a long pause of a replay ends at once when the run is stopped.
void SleepUntilOrStopped(int64_t deadline, const std::atomic<bool>* stop) {
  const int64_t slice = 100000000;
  for (;;) {
    const int64_t now = MonotonicNanoseconds();
    if (now >= deadline || Stopped(stop)) return;
    SleepUntil(stop != nullptr && deadline - now > slice ? now + slice : deadline);
  }
}

}  // namespace

bool SendTelegrams(TelegramSource* source, long rate, UdpTarget& target, const std::atomic<bool>* stop,
                   SendTally* tally, std::string* err) {
  const int64_t interval = rate > 0 ? 1000000000 / rate : 0;
  const int64_t start = MonotonicNanoseconds();
  int64_t deadline = start;
  *tally = SendTally{0, 0, 0.0};
  bool sent = true;
  SourceTelegram telegram = {};
  while (sent && !Stopped(stop) && source->Next(&telegram)) {
    if (interval > 0) {
      SleepUntilOrStopped(deadline, stop);
      deadline += interval;
    } else if (telegram.due != kNotTimed) {
      // However late a telegram is due, the deadline does not wrap.
      SleepUntilOrStopped(telegram.due > INT64_MAX - start ? INT64_MAX : start + telegram.due, stop);
    }
    if (Stopped(stop)) break;
    sent = target.SendFrom(telegram.source_address, telegram.source_port, telegram.bytes, telegram.size, err);
    if (sent) {
      ++tally->sent;
      tally->bytes += telegram.size;
    }
  }
  tally->seconds = static_cast<double>(MonotonicNanoseconds() - start) / 1e9;
  return sent;
}

int SayHowSendingWent(const SendTally& tally, const std::string& failure, const char* host, uint16_t port,
                      const std::string& about_source) {
  if (!failure.empty()) {
    fprintf(stderr, "telegram-sender: sending telegram %ld to %s:%u failed: %s\n", tally.sent + 1, host,
            static_cast<unsigned>(port), failure.c_str());
    return 1;
  }
  const double seconds = tally.seconds > 0 ? tally.seconds : 0;
  const double per_second = seconds > 0 ? static_cast<double>(tally.sent) / seconds : 0;
  const double mbit = seconds > 0 ? static_cast<double>(tally.bytes) * 8 / 1e6 / seconds : 0;
  fprintf(stderr, "telegram-sender: sent %ld telegrams (%llu bytes) to %s:%u in %.3f s; %.0f telegrams/s, %.1f Mbit/s%s%s\n",
          tally.sent, tally.bytes, host, static_cast<unsigned>(port), tally.seconds, per_second, mbit,
          about_source.empty() ? "" : "; ", about_source.c_str());
  return 0;
}
