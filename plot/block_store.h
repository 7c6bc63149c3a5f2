// The blocks that telegram-plot --serve shows: the newest of those with
// values, each under its name, shared between the thread that reads the
// report and those that answer the browsers. Memory is bounded whatever
// the report's length: beyond `keep` blocks the oldest go (the page says
// so). Adding a block never waits for a browser: readers take a shared
// handle on a block, or a copy of a summary, and let go of the lock at once.
#ifndef PLOT_BLOCK_STORE_H_
#define PLOT_BLOCK_STORE_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plot/block_data.h"
#include "telegram/report_reader.h"

struct StoredBlock {
  BlockSummary summary;
  std::vector<uint16_t> values;
};

// The blocks kept, by default.
const size_t kDefaultKeptBlocks = 1000;

class BlockStore {
 public:
  BlockStore(const std::string& source, size_t keep);
  BlockStore(const BlockStore&) = delete;
  BlockStore& operator=(const BlockStore&) = delete;

  // A block with values: named, kept (its values taken), and the oldest let
  // go beyond `keep`.
  void Add(ReportBlock&& block);
  // Telegrams read so far.
  void SetTelegrams(long telegrams);
  // The report is over: with its closing lines or not, or damaged.
  void End(bool whole, const std::string& damage);
  // Wakes whoever waits for a change, for good: the server is stopping.
  void Close();

  ReportState state() const;
  // The summaries of the blocks kept whose id is above `after`, oldest first.
  std::vector<BlockSummary> Summaries(uint64_t after) const;
  // The newest block kept; null if there is none.
  std::shared_ptr<const StoredBlock> Newest() const;
  // A block kept, by id or by name; null if it is not, or no longer, kept.
  std::shared_ptr<const StoredBlock> ById(uint64_t id) const;
  std::shared_ptr<const StoredBlock> ByName(const std::string& name) const;

  // Changes so far (a block added, the telegrams read, the end), counted.
  uint64_t changes() const;
  // Waits up to `wait` for a change after the count `seen`; the count then.
  // Returns at once once closed.
  uint64_t WaitForChange(uint64_t seen, std::chrono::milliseconds wait) const;
  bool closed() const;

 private:
  void Changed();  // with the lock held

  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  const size_t keep_;
  ReportState state_;
  std::deque<std::shared_ptr<const StoredBlock>> blocks_;  // by id, the oldest first
  std::map<std::string, std::shared_ptr<const StoredBlock>> by_name_;
  uint64_t changes_ = 0;
  bool closed_ = false;
};

#endif  // PLOT_BLOCK_STORE_H_
