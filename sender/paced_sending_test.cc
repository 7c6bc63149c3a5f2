#include "sender/paced_sending.h"

#include <gtest/gtest.h>

#include <atomic>
#include <utility>
#include <vector>

namespace {

// Telegrams of the sizes given, due at the times given, each of bytes 0.
struct ListSource : TelegramSource {
  ListSource(std::vector<size_t> telegram_sizes, std::vector<int64_t> telegram_dues)
      : sizes(std::move(telegram_sizes)), dues(std::move(telegram_dues)) {}
  std::vector<size_t> sizes;
  std::vector<int64_t> dues;
  std::vector<unsigned char> bytes = std::vector<unsigned char>(70000, 0);
  size_t next = 0;
  bool Next(SourceTelegram* telegram) override {
    if (next == sizes.size()) return false;
    *telegram = SourceTelegram{bytes.data(), sizes[next], dues[next], 0, 0};
    ++next;
    return true;
  }
};

// Three telegrams of 1, 2 and 3 bytes, due 0, 0.2 and 0.4 s after the first.
ListSource TimedSource() { return ListSource({1, 2, 3}, {0, 200000000, 400000000}); }

}  // namespace

TEST(PacedSending, SendsAtTheSourcesTimesUnlessARateIsGiven) {
  UdpTarget target;
  std::string why;
  // The discard port: nobody needs to listen for a UDP send to succeed.
  ASSERT_TRUE(target.Open("127.0.0.1", 9, &why)) << why;

  ListSource timed = TimedSource();
  SendTally tally = {};
  EXPECT_TRUE(SendTelegrams(&timed, 0, target, nullptr, &tally, &why)) << why;
  EXPECT_EQ(tally.sent, 3);
  EXPECT_EQ(tally.bytes, 6u);
  EXPECT_GE(tally.seconds, 0.4) << "the last telegram went before it was due";

  ListSource rated = TimedSource();
  EXPECT_TRUE(SendTelegrams(&rated, 1000, target, nullptr, &tally, &why)) << why;
  EXPECT_EQ(tally.sent, 3);
  EXPECT_LT(tally.seconds, 0.4) << "a rate overrides the source's times";

  // 3 telegrams at 10 a second: the third goes 0.2 s after the first.
  ListSource slow = TimedSource();
  EXPECT_TRUE(SendTelegrams(&slow, 10, target, nullptr, &tally, &why)) << why;
  EXPECT_EQ(tally.sent, 3);
  EXPECT_GE(tally.seconds, 0.2) << "faster than the rate";
  EXPECT_LT(tally.seconds, 0.4);

  ListSource stopped = TimedSource();
  const std::atomic<bool> stop{true};
  EXPECT_TRUE(SendTelegrams(&stopped, 0, target, &stop, &tally, &why)) << why;
  EXPECT_EQ(tally.sent, 0);
  EXPECT_EQ(stopped.next, 0u) << "nothing taken from the source once stopped";
}

namespace {

// Telegrams of 10 bytes, but the third: more than a UDP datagram holds.
ListSource OversizeSource() {
  return ListSource({10, 10, 70000, 10, 10}, std::vector<int64_t>(5, kNotTimed));
}

}  // namespace

TEST(PacedSending, AFailedSendIsSaidWithTheNumberOfItsTelegram) {
  UdpTarget target;
  std::string why;
  ASSERT_TRUE(target.Open("127.0.0.1", 9, &why)) << why;
  ListSource source = OversizeSource();
  SendTally tally = {};
  std::string failure;
  EXPECT_FALSE(SendTelegrams(&source, 0, target, nullptr, &tally, &failure));
  EXPECT_EQ(failure, "message too long (10040)");
  EXPECT_EQ(tally.sent, 2);
  EXPECT_EQ(source.next, 3u) << "nothing taken after the failure";
  testing::internal::CaptureStderr();
  EXPECT_EQ(SayHowSendingWent(tally, failure, "127.0.0.1", 9, ""), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "telegram-sender: sending telegram 3 to 127.0.0.1:9 failed: message too long (10040)\n");
}
