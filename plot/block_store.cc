#include "plot/block_store.h"

#include "plot/block_name.h"

BlockStore::BlockStore(const std::string& source, size_t keep)
    : keep_(keep > 0 ? keep : 1), state_{source, 0, 0, 0, true, false, ""} {}

void BlockStore::Changed() {
  ++changes_;
  changed_.notify_all();
}

void BlockStore::Add(ReportBlock&& block) {
  // The block's range is found before the lock is taken, and its values
  // are moved, not copied: the browsers' threads wait on this lock.
  auto stored = std::make_shared<StoredBlock>();
  stored->summary = SummaryOf(block, 0, "");
  stored->values = std::move(block.values);
  const std::string base = BlockName(block);
  std::shared_ptr<const StoredBlock> gone;  // freed after the lock is let go
  std::lock_guard<std::mutex> hold(lock_);
  // A name no block kept has: a block seen again gets "-2" after it, and so
  // on, as in the folder.
  std::string name = base;
  for (int seen = 2; by_name_.count(name) != 0; ++seen) name = base + "-" + std::to_string(seen);
  stored->summary.id = ++state_.blocks;
  stored->summary.name = name;
  blocks_.push_back(stored);
  by_name_[name] = std::move(stored);
  if (blocks_.size() > keep_) {
    gone = std::move(blocks_.front());
    by_name_.erase(gone->summary.name);
    blocks_.pop_front();
  }
  state_.kept = blocks_.size();
  Changed();
}

void BlockStore::SetTelegrams(long telegrams) {
  std::lock_guard<std::mutex> hold(lock_);
  if (state_.telegrams == telegrams) return;
  state_.telegrams = telegrams;
  Changed();
}

void BlockStore::End(bool whole, const std::string& damage) {
  std::lock_guard<std::mutex> hold(lock_);
  state_.reading = false;
  state_.whole = whole;
  state_.damage = damage;
  Changed();
}

void BlockStore::Close() {
  std::lock_guard<std::mutex> hold(lock_);
  closed_ = true;
  Changed();
}

ReportState BlockStore::state() const {
  std::lock_guard<std::mutex> hold(lock_);
  return state_;
}

std::vector<BlockSummary> BlockStore::Summaries(uint64_t after) const {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<BlockSummary> summaries;
  for (const auto& block : blocks_) {
    if (block->summary.id > after) summaries.push_back(block->summary);
  }
  return summaries;
}

std::shared_ptr<const StoredBlock> BlockStore::Newest() const {
  std::lock_guard<std::mutex> hold(lock_);
  return blocks_.empty() ? nullptr : blocks_.back();
}

std::shared_ptr<const StoredBlock> BlockStore::ById(uint64_t id) const {
  std::lock_guard<std::mutex> hold(lock_);
  if (blocks_.empty() || id < blocks_.front()->summary.id || id > blocks_.back()->summary.id) return nullptr;
  // The ids kept follow one another.
  return blocks_[static_cast<size_t>(id - blocks_.front()->summary.id)];
}

std::shared_ptr<const StoredBlock> BlockStore::ByName(const std::string& name) const {
  std::lock_guard<std::mutex> hold(lock_);
  const auto found = by_name_.find(name);
  return found == by_name_.end() ? nullptr : found->second;
}

uint64_t BlockStore::changes() const {
  std::lock_guard<std::mutex> hold(lock_);
  return changes_;
}

uint64_t BlockStore::WaitForChange(uint64_t seen, std::chrono::milliseconds wait) const {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait_for(hold, wait, [this, seen] { return changes_ != seen || closed_; });
  return changes_;
}

bool BlockStore::closed() const {
  std::lock_guard<std::mutex> hold(lock_);
  return closed_;
}
