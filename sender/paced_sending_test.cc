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

  // 3 telegrams at 10 a second: the third goes 0.2 s after the first.
  TimedSource slow;
  EXPECT_EQ(SendTelegrams(TelegramSource{NextTimed, &slow}, 10, target, nullptr, &tally), 0);
  EXPECT_EQ(tally.sent, 3);
  EXPECT_GE(tally.seconds, 0.2) << "faster than the rate";
  EXPECT_LT(tally.seconds, 0.4);

  TimedSource stopped;
  const std::atomic<bool> stop{true};
  EXPECT_EQ(SendTelegrams(TelegramSource{NextTimed, &stopped}, 0, target, &stop, &tally), 0);
  EXPECT_EQ(tally.sent, 0);
  EXPECT_EQ(stopped.next, 0u) << "nothing taken from the source once stopped";
  CloseUdpTarget(&target);
}

namespace {

// Telegrams of 10 bytes, but the third: more than a UDP datagram holds.
struct OversizeSource {
  unsigned char bytes[70000] = {};
  size_t next = 0;
};

bool NextOversize(void* state, SourceTelegram* next) {
  OversizeSource* source = static_cast<OversizeSource*>(state);
  if (source->next == 5) return false;
  ++source->next;
  *next = SourceTelegram{source->bytes, source->next == 3 ? sizeof source->bytes : 10, kNotTimed};
  return true;
}

}  // namespace

TEST(PacedSending, AFailedSendIsSaidWithTheNumberOfItsTelegram) {
  UdpTarget target = {};
  char why[256];
  ASSERT_TRUE(OpenUdpTarget(&target, "127.0.0.1", 9, why, sizeof why)) << why;
  OversizeSource source;
  SendTally tally = {};
  const int failure = SendTelegrams(TelegramSource{NextOversize, &source}, 0, target, nullptr, &tally);
  CloseUdpTarget(&target);
  EXPECT_EQ(failure, 10040);
  EXPECT_EQ(tally.sent, 2);
  EXPECT_EQ(source.next, 3u) << "nothing taken after the failure";
  testing::internal::CaptureStderr();
  EXPECT_EQ(SayHowSendingWent(tally, failure, "127.0.0.1", 9, ""), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "telegram-sender: sending telegram 3 to 127.0.0.1:9 failed: message too long (10040)\n");
}
