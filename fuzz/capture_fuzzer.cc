// libFuzzer target: the input is a capture file, walked as a replay walks
// it: bytes, packets, link layers, IPv4, the reassembly of IP fragments, the
// UDP datagrams bound for the port, and the time each is due. Besides what the sanitizers catch (a read past a record, a
// timestamp that overflows), it checks that:
// - the walk ends, and says how: whole, cut short or damaged;
// - no packet is longer than its record may be, nor a datagram than UDP;
// - the due times never go back and never pass a pause's bound per step;
// - the fragments pending stay within their bounds;
// - every datagram bound for the port is counted once, taken or skipped.
#include <cstdint>
#include <cstdlib>

#include "capture/byte_source.h"
#include "capture/capture_file.h"
#include "capture/udp_datagrams.h"
#include "sender/replay_clock.h"
#include "telegram/report_format.h"
#include "telegram/telegram_layout.h"

namespace {

// A pause of at most a second, so that the bound is met often.
const int64_t kMaxGap = 1000000000;

void Check(bool holds) {
  if (!holds) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemorySource source(data, size);
  CaptureReader reader(&source);
  UdpDatagramReader datagrams(kReceiverPort);
  ReplayClock clock(kMaxGap);
  CapturedPacket packet = {};
  CapturedDatagram datagram = {};
  int64_t last_due = 0;
  long telegrams = 0;
  while (reader.Next(&packet)) {
    Check(datagrams.pending() <= kMostPendingDatagrams);
    Check(datagrams.pending_bytes() <= kMostPendingBytes);
    if (!datagrams.Take(packet, &datagram)) continue;
    ++telegrams;
    Check(datagram.size <= kMaxDatagramSize);
    const int64_t due = clock.Next(datagram.time);
    Check(due >= last_due);
    Check(due - last_due <= kMaxGap);
    last_due = due;
  }
  datagrams.Finish();
  Check(reader.end() != kCaptureReading);
  Check(reader.end() == kCaptureWhole || !reader.end_words().empty());
  Check(datagrams.pending() == 0);
  Check(datagrams.tally().taken == telegrams);
  Check(datagrams.tally().not_udp >= 0 && datagrams.tally().other_port >= 0 && datagrams.tally().incomplete >= 0 &&
        datagrams.tally().cut_short >= 0);
  return 0;
}
