#include "sender/paced_sending.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Three telegrams of 1, 2 and 3 bytes, due 0, 0.2 and 0.4 s after the first.
struct TimedSource {
  const unsigned char bytes[3] = {1, 2, 3};
  size_t next = 0;
};

bool NextTimed(void* state, SourceTelegram* next) {
  TimedSource* source = static_cast<TimedSource*>(state);
  if (source->next == 3) return false;
  ++source->next;
  *next = SourceTelegram{source->bytes, source->next, static_cast<int64_t>(source->next - 1) * 200000000};
  return true;
}

}  // namespace

TEST(PacedSending, SendsAtTheSourcesTimesUnlessARateIsGiven) {
  UdpTarget target = {};
  char why[256];
  // The discard port: nobody needs to listen for a UDP send to succeed.
  ASSERT_TRUE(OpenUdpTarget(&target, "127.0.0.1", 9, why, sizeof why)) << why;

  TimedSource timed;
  SendTally tally = {};
  EXPECT_EQ(SendTelegrams(TelegramSource{NextTimed, &timed}, 0, target, nullptr, &tally), 0);
  EXPECT_EQ(tally.sent, 3);
  EXPECT_EQ(tally.bytes, 6u);
  EXPECT_GE(tally.seconds, 0.4) << "the last telegram went before it was due";

  TimedSource rated;
  EXPECT_EQ(SendTelegrams(TelegramSource{NextTimed, &rated}, 1000, target, nullptr, &tally), 0);
  EXPECT_EQ(tally.sent, 3);
  EXPECT_LT(tally.seconds, 0.4) << "a rate overrides the source's times";

  TimedSource stopped;
  const std::atomic<bool> stop{true};
  EXPECT_EQ(SendTelegrams(TelegramSource{NextTimed, &stopped}, 0, target, &stop, &tally), 0);
  EXPECT_EQ(tally.sent, 0);
  EXPECT_EQ(stopped.next, 0u) << "nothing taken from the source once stopped";
  CloseUdpTarget(&target);
}
