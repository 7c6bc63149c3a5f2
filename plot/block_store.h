// The blocks that telegram-plot --serve shows: the newest of those with
// values, each under its name, shared between the thread that reads the
// report and the one that answers the browsers. Memory is bounded whatever
// the report's length: beyond `keep` blocks, or beyond `memory` bytes of
// them, the oldest go (the page says so). Adding a block never waits for a
// browser: readers take a shared handle on a block, or copies of a bounded
// number of summaries, and let go of the lock at once.
#ifndef PLOT_BLOCK_STORE_H_
#define PLOT_BLOCK_STORE_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "plot/block_data.h"
#include "telegram/report_reader.h"

// The range of a block's values not yet found.
const uint32_t kRangeUnknown = 0xFFFFFFFF;

struct StoredBlock {
  BlockSummary summary;
  std::string text;  // its values as the report prints them
  // The smallest of its values and the largest (above it by 16 bits), once
  // a page has asked for them; found by the server's thread, read by any.
  mutable std::atomic<uint32_t> range{kRangeUnknown};
};

// The blocks kept, by default.
const size_t kDefaultKeptBlocks = 1000;

// What a kept block costs: its values text, and its summary, name and
// handles.
size_t KeptBytes(const StoredBlock& block);

class BlockStore {
 public:
  BlockStore(const std::string& source, size_t keep, size_t memory);
  BlockStore(const BlockStore&) = delete;
  BlockStore& operator=(const BlockStore&) = delete;

  // A block with values: named, kept (its values text taken), and the
  // oldest let go beyond `keep` blocks or `memory` bytes. The newest is
  // always kept.
  void Add(ReportBlock&& block);
  // Telegrams read so far.
  void SetTelegrams(long telegrams);
  // The report is over: with its closing lines or not, or damaged.
  void End(bool whole, const std::string& damage);
  // The source's name, once it is known better (the run's start), and
  // what it is (ReportState::input).
  void SetSource(const std::string& source, const std::string& input = "");

  ReportState state() const;
  // Up to `most` summaries of the blocks kept whose id is above `after`,
  // oldest first; `*more` says whether others follow them.
  std::vector<BlockSummary> Summaries(uint64_t after, size_t most, bool* more) const;
  // Every block kept, oldest first.
  std::vector<std::shared_ptr<const StoredBlock>> Kept() const;
  // The newest block kept; null if there is none.
  std::shared_ptr<const StoredBlock> Newest() const;
  // A block kept, by id; null if it is not, or no longer, kept.
  std::shared_ptr<const StoredBlock> ById(uint64_t id) const;

  // Changes so far (a block added, the telegrams read, the end), counted.
  uint64_t changes() const;
  // The bytes the blocks kept take.
  size_t kept_bytes() const;

 private:
  // Lets the oldest block go; with the lock held. It is handed back, to be
  // freed once the lock is let go.
  std::shared_ptr<const StoredBlock> DropOldest();

  // The names in use that share a base ("scan-1-block-0"): how many blocks
  // kept have one, and the number the next one gets after its base.
  struct NameUse {
    size_t kept = 0;
    uint32_t next = 1;
  };

  mutable std::mutex lock_;
  const size_t keep_;
  const size_t memory_;
  ReportState state_;
  std::deque<std::shared_ptr<const StoredBlock>> blocks_;  // by id, the oldest first
  std::unordered_map<std::string, NameUse> names_;  // by base
  size_t bytes_ = 0;
  uint64_t changes_ = 0;
};

#endif  // PLOT_BLOCK_STORE_H_
