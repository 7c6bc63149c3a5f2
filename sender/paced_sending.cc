#include "sender/paced_sending.h"

#include <cstdint>
#include <cstdio>

#include "sender/clock.h"

namespace {

bool Stopped(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(); }

}  // namespace

int SendTelegrams(TelegramSource* source, long rate, const UdpTarget& target, const std::atomic<bool>* stop,
                  SendTally* tally) {
  const int64_t interval = rate > 0 ? 1000000000 / rate : 0;
  const int64_t start = MonotonicNanoseconds();
  int64_t deadline = start;
  *tally = SendTally{0, 0, 0.0};
  int failure = 0;
  SourceTelegram telegram = {};
  while (failure == 0 && !Stopped(stop) && source->Next(&telegram)) {
    if (interval > 0) {
      SleepUntil(deadline);
      deadline += interval;
    } else if (telegram.due != kNotTimed) {
      // However late a telegram is due, the deadline does not wrap.
      SleepUntil(telegram.due > INT64_MAX - start ? INT64_MAX : start + telegram.due);
    }
    failure = SendDatagram(target, telegram.bytes, telegram.size);
    if (failure == 0) {
      ++tally->sent;
      tally->bytes += telegram.size;
    }
  }
  tally->seconds = static_cast<double>(MonotonicNanoseconds() - start) / 1e9;
  return failure;
}

int SayHowSendingWent(const SendTally& tally, int failure, const char* host, uint16_t port,
                      const std::string& about_source) {
  if (failure != 0) {
    char cause[256];
    NetDescribeError(failure, cause, sizeof cause);
    fprintf(stderr, "telegram-sender: sending telegram %ld to %s:%u failed: %s\n", tally.sent + 1, host,
            static_cast<unsigned>(port), cause);
    return 1;
  }
  fprintf(stderr, "telegram-sender: sent %ld telegrams (%llu bytes) to %s:%u in %.3f s%s%s\n", tally.sent,
          tally.bytes, host, static_cast<unsigned>(port), tally.seconds, about_source.empty() ? "" : "; ",
          about_source.c_str());
  return 0;
}
