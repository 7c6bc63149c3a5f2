#include "sender/send_scans.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "sender/clock.h"
#include "sender/scan_telegrams.h"
#include "telegram/telegram_writer.h"

namespace {

bool Stopped(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(); }

}  // namespace

int SendScans(const ScanPlan& plan, const UdpTarget& target, const std::atomic<bool>* stop, SendTally* tally) {
  std::vector<unsigned char> telegram(kMaxDatagramSize);
  const int64_t interval = plan.rate > 0 ? 1000000000 / plan.rate : 0;
  const int64_t start = MonotonicNanoseconds();
  int64_t deadline = start;
  *tally = SendTally{0, 0, 0.0};
  int failure = 0;
  for (long scan = 0; scan < plan.scans && failure == 0 && !Stopped(stop); ++scan) {
    const uint32_t scan_no = static_cast<uint32_t>(scan + 1);
    for (long block = plan.beam_range ? -1 : 0; block < plan.blocks && failure == 0 && !Stopped(stop); ++block) {
      size_t length = 0;
      if (block < 0) {
        length = BuildBeamTelegram(telegram.data());
      } else {
        length = BuildBlockTelegram(telegram.data(), static_cast<size_t>(plan.size), plan.same_values ? 1 : scan_no,
                                    static_cast<uint16_t>(block));
        PutU32(telegram.data() + kScanNoOffset, scan_no);
      }
      if (interval > 0) {
        SleepUntil(deadline);
        deadline += interval;
      }
      failure = SendDatagram(target, telegram.data(), length);
      if (failure == 0) {
        ++tally->sent;
        tally->bytes += length;
      }
    }
  }
  tally->seconds = static_cast<double>(MonotonicNanoseconds() - start) / 1e9;
  return failure;
}

int SayHowSendingWent(const SendTally& tally, int failure, const char* host, uint16_t port) {
  if (failure != 0) {
    char cause[256];
    NetDescribeError(failure, cause, sizeof cause);
    fprintf(stderr, "telegram-sender: sending telegram %ld to %s:%u failed: %s\n", tally.sent + 1, host,
            static_cast<unsigned>(port), cause);
    return 1;
  }
  fprintf(stderr, "telegram-sender: sent %ld telegrams (%llu bytes) to %s:%u in %.3f s\n", tally.sent, tally.bytes,
          host, static_cast<unsigned>(port), tally.seconds);
  return 0;
}
