// The blocks --serve keeps: the newest, each under the name the folder
// would give it, and the news of a change handed to whoever waits for it.
#include "plot/block_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

ReportBlock Block(long long scan, long block_no, std::vector<uint16_t> values) {
  return ReportBlock{1, 1, static_cast<long long>(values.size()) * 2, scan, block_no, std::move(values), false};
}

}  // namespace

TEST(BlockStore, KeepsTheNewestUnderTheirNamesAndLetsTheOldestGo) {
  BlockStore store("report.txt", 3);
  store.Add(Block(1, 0, {1}));
  store.Add(Block(1, 1, {2, 3}));
  store.Add(Block(1, 0, {4}));  // the same scan and block again
  store.Add(Block(2, 0, {5, 6, 7}));
  const ReportState state = store.state();
  EXPECT_EQ(state.blocks, 4u);
  EXPECT_EQ(state.kept, 3u);
  // The first went; its name, and its id, find nothing.
  EXPECT_EQ(store.ById(1), nullptr);
  ASSERT_NE(store.ByName("scan-1-block-0-2"), nullptr);
  EXPECT_EQ(store.ByName("scan-1-block-0-2")->values, (std::vector<uint16_t>{4}));
  EXPECT_EQ(store.ByName("scan-1-block-0"), nullptr);
  ASSERT_NE(store.Newest(), nullptr);
  EXPECT_EQ(store.Newest()->summary.name, "scan-2-block-0");
  EXPECT_EQ(store.Newest()->summary.id, 4u);
  EXPECT_EQ(store.Newest()->summary.largest, 7);
  // The summaries after a given id, oldest first.
  const std::vector<BlockSummary> after = store.Summaries(2);
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].id, 3u);
  EXPECT_EQ(after[1].id, 4u);
  // A block still held by a browser outlives its going.
  const auto held = store.ById(2);
  store.Add(Block(3, 0, {8}));
  EXPECT_EQ(store.ById(2), nullptr);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->values, (std::vector<uint16_t>{2, 3}));
}

TEST(BlockStore, AWaiterIsWokenByAChangeAndForGoodByClose) {
  BlockStore store("standard input", 10);
  const uint64_t seen = store.changes();
  EXPECT_EQ(store.WaitForChange(seen, std::chrono::milliseconds(10)), seen) << "nothing changed";
  std::thread adder([&store] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    store.SetTelegrams(5);
  });
  EXPECT_GT(store.WaitForChange(seen, std::chrono::seconds(10)), seen);
  adder.join();
  EXPECT_EQ(store.state().telegrams, 5);
  store.End(false, "line 9: damaged");
  EXPECT_FALSE(store.state().reading);
  EXPECT_EQ(store.state().damage, "line 9: damaged");
  store.Close();
  const auto before = std::chrono::steady_clock::now();
  store.WaitForChange(store.changes(), std::chrono::seconds(10));
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
  EXPECT_TRUE(store.closed());
}
