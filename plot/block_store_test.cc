// The blocks --serve keeps: the newest, each under the name the folder
// would give it, within a count and a memory bound; and the names blocks
// are given.
#include "plot/block_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plot/block_name.h"

namespace {

// A block as the plot reads it: its values as printed.
ReportBlock Block(long long scan, long block_no, const std::vector<uint16_t>& values) {
  std::string text;
  for (const uint16_t value : values) text += std::to_string(value) + "\t";
  return ReportBlock{1, 1, static_cast<long long>(values.size()) * 2, scan, block_no, {}, false, text, values.size(), {}};
}

// The block kept under a name; null if none is.
std::shared_ptr<const StoredBlock> Named(const BlockStore& store, const std::string& name) {
  for (const auto& block : store.Kept()) {
    if (block->summary.name == name) return block;
  }
  return nullptr;
}

}  // namespace

TEST(BlockStore, KeepsTheNewestUnderTheirNamesAndLetsTheOldestGo) {
  BlockStore store("report.txt", 3, size_t{1} << 30);
  store.Add(Block(1, 0, {1}));
  store.Add(Block(1, 1, {2, 3}));
  store.Add(Block(1, 0, {4}));  // the same scan and block again
  store.Add(Block(2, 0, {5, 6, 7}));
  const ReportState state = store.state();
  EXPECT_EQ(state.blocks, 4u);
  EXPECT_EQ(state.kept, 3u);
  // The first went; its name, and its id, find nothing.
  EXPECT_EQ(store.ById(1), nullptr);
  ASSERT_NE(Named(store, "scan-1-block-0-2"), nullptr);
  EXPECT_EQ(Named(store, "scan-1-block-0-2")->text, "4\t");
  EXPECT_EQ(Named(store, "scan-1-block-0"), nullptr);
  ASSERT_NE(store.Newest(), nullptr);
  EXPECT_EQ(store.Newest()->summary.name, "scan-2-block-0");
  EXPECT_EQ(store.Newest()->summary.id, 4u);
  EXPECT_EQ(store.Newest()->summary.count, 3u);
  EXPECT_EQ(store.Newest()->text, "5\t6\t7\t");
  // The summaries after a given id, oldest first.
  bool more = true;
  const std::vector<BlockSummary> after = store.Summaries(2, 10, &more);
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].id, 3u);
  EXPECT_EQ(after[1].id, 4u);
  EXPECT_FALSE(more);
  // A block still held by a browser outlives its going.
  const auto held = store.ById(2);
  store.Add(Block(3, 0, {8}));
  EXPECT_EQ(store.ById(2), nullptr);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->text, "2\t3\t");
}

TEST(BlockStore, ChangesAreCountedAndTheEndIsKept) {
  BlockStore store("standard input", 10, size_t{1} << 30);
  const uint64_t seen = store.changes();
  store.SetTelegrams(5);
  EXPECT_EQ(store.changes(), seen + 1);
  store.SetTelegrams(5);
  EXPECT_EQ(store.changes(), seen + 1) << "the same count again is no change";
  EXPECT_EQ(store.state().telegrams, 5);
  store.End(false, "line 9: damaged");
  EXPECT_EQ(store.changes(), seen + 2);
  EXPECT_FALSE(store.state().reading);
  EXPECT_EQ(store.state().damage, "line 9: damaged");
}

TEST(BlockStore, SummariesComeInBoundedPagesFromAnyId) {
  BlockStore store("report.txt", 100, size_t{1} << 30);
  for (int scan = 1; scan <= 25; ++scan) store.Add(Block(scan, 0, {1}));
  bool more = false;
  // Before the first kept, the first pages; the last page says no more.
  std::vector<BlockSummary> page = store.Summaries(0, 10, &more);
  ASSERT_EQ(page.size(), 10u);
  EXPECT_EQ(page.front().id, 1u);
  EXPECT_EQ(page.back().id, 10u);
  EXPECT_TRUE(more);
  page = store.Summaries(20, 10, &more);
  ASSERT_EQ(page.size(), 5u);
  EXPECT_EQ(page.front().id, 21u);
  EXPECT_FALSE(more);
  page = store.Summaries(15, 10, &more);
  ASSERT_EQ(page.size(), 10u);
  EXPECT_EQ(page.back().id, 25u);
  EXPECT_FALSE(more) << "exactly the rest";
  EXPECT_TRUE(store.Summaries(25, 10, &more).empty());
  EXPECT_TRUE(store.Summaries(99, 10, &more).empty());
  EXPECT_FALSE(more);
}

TEST(BlockStore, MemoryIsBoundedAndTheNewestAlwaysKept) {
  // Each block of 1000 values takes some 2 KB of text: 10 KB keeps four.
  BlockStore store("report.txt", 1000, size_t{10} * 1024);
  for (int scan = 1; scan <= 20; ++scan) store.Add(Block(scan, 0, std::vector<uint16_t>(1000, 7)));
  EXPECT_EQ(store.state().blocks, 20u);
  EXPECT_EQ(store.state().kept, 4u);
  EXPECT_LE(store.kept_bytes(), 10u * 1024);
  EXPECT_EQ(store.ById(16), nullptr);
  ASSERT_NE(store.ById(17), nullptr);
  // A block larger than the whole bound is still shown, alone.
  store.Add(Block(21, 0, std::vector<uint16_t>(20000, 1)));
  EXPECT_EQ(store.state().kept, 1u);
  ASSERT_NE(store.Newest(), nullptr);
  EXPECT_EQ(store.Newest()->summary.id, 21u);
  // What a block costs: its values text and little more.
  StoredBlock block;
  block.summary = SummaryOf(Block(1, 0, {1}), 1, "scan-1-block-0");
  block.text.assign(size_t{32743} * 6, '1');
  EXPECT_GE(KeptBytes(block), 32743u * 6);
  EXPECT_LE(KeptBytes(block), 32743u * 6 + 1024);
}

TEST(BlockStore, NamesSeenAgainAreNumberedInConstantTime) {
  BlockStore store("report.txt", 3, size_t{1} << 30);
  for (int run = 0; run < 5; ++run) store.Add(Block(1, 0, {1}));
  // The three newest of five runs of the same scan and block.
  EXPECT_EQ(Named(store, "scan-1-block-0-2"), nullptr);
  ASSERT_NE(Named(store, "scan-1-block-0-3"), nullptr);
  ASSERT_NE(Named(store, "scan-1-block-0-5"), nullptr);
  EXPECT_EQ(Named(store, "scan-1-block-0-5")->summary.id, 5u);
  // Once none of a name is kept, it starts again without a number.
  for (int scan = 2; scan <= 4; ++scan) store.Add(Block(scan, 0, {1}));
  store.Add(Block(1, 0, {1}));
  ASSERT_NE(Named(store, "scan-1-block-0"), nullptr);
  EXPECT_EQ(Named(store, "scan-1-block-0")->summary.id, 9u);
}

TEST(BlockName, OnlyTheNamesBlocksAreGiven) {
  for (const char* name : {"scan-12-block-0", "scan--3-block-1", "scan-12-block-0-2", "scan-0-block-65535",
                           "scan-18446744073709551615-block-1-999999999", "10.0.0.1-5000-scan-12-block-0",
                           "127.0.0.2-40002-scan-4294967295-block-1-3"}) {
    EXPECT_TRUE(IsBlockName(name)) << name;
  }
  for (const char* name : {"scan-7-notes", "scan-12-block-", "scan--block-0", "scan-1-block-0-", "scan-1-block-0-x",
                           "scan-1-block-123456", "scan-x-block-0", "scan---1-block-0", "Scan-1-block-0", "scan-1-block-0-2-3",
                           "scan-1-block-0-1234567890", "", "10.0.0-5000-scan-1-block-0", "10.0.0.1-scan-1-block-0",
                           "10.0.0.1-123456-scan-1-block-0", "10.0.0.1000-5-scan-1-block-0", "1-scan-1-block-0"}) {
    EXPECT_FALSE(IsBlockName(name)) << name;
  }
  EXPECT_TRUE(IsBlockName(BlockName("", -2147483648LL, 1)));
  EXPECT_EQ(BlockName("10.0.0.1:5000", 4294967295LL, 1), "10.0.0.1-5000-scan-4294967295-block-1");
  EXPECT_TRUE(IsBlockName(BlockName("255.255.255.255:65535", 0, 0)));
}
