#include "plot/block_store.h"

#include "plot/block_name.h"

size_t KeptBytes(const StoredBlock& block) {
  // The map entries, the shared handle and the allocator's own bookkeeping
  // come to about this much beside the block's own members.
  const size_t kOverhead = 256;
  return sizeof block + block.text.capacity() + 2 * block.summary.name.capacity() + kOverhead;
}

BlockStore::BlockStore(const std::string& source, size_t keep, size_t memory)
    : keep_(keep > 0 ? keep : 1), memory_(memory), state_{source, 0, 0, 0, 0, true, false, "", ""} {}

void BlockStore::Add(ReportBlock&& block) {
  // The block is made ready before the lock is taken, and its values are
  // moved, not copied: the server's thread waits on this lock.
  auto stored = std::make_shared<StoredBlock>();
  stored->summary = SummaryOf(block, 0, "");
  stored->text = std::move(block.text);
  const std::string base = BlockName(block);
  std::vector<std::shared_ptr<const StoredBlock>> gone;  // freed after the lock is let go
  std::lock_guard<std::mutex> hold(lock_);
  // A name no block kept has: a block seen again gets "-2" after it, and so
  // on, as in the folder.
  NameUse& use = names_[base];
  stored->summary.name = use.next == 1 ? base : base + "-" + std::to_string(use.next);
  ++use.next;
  ++use.kept;
  stored->summary.id = ++state_.blocks;
  bytes_ += KeptBytes(*stored);
  blocks_.push_back(std::move(stored));
  while (blocks_.size() > keep_ || (bytes_ > memory_ && blocks_.size() > 1)) gone.push_back(DropOldest());
  state_.kept = blocks_.size();
  ++changes_;
}

std::shared_ptr<const StoredBlock> BlockStore::DropOldest() {
  std::shared_ptr<const StoredBlock> oldest = std::move(blocks_.front());
  blocks_.pop_front();
  bytes_ -= KeptBytes(*oldest);
  const auto use = names_.find(BlockName(oldest->summary.source, oldest->summary.scan_no, oldest->summary.block_no));
  if (use != names_.end() && --use->second.kept == 0) names_.erase(use);
  return oldest;
}

void BlockStore::SetTelegrams(long telegrams) {
  std::lock_guard<std::mutex> hold(lock_);
  if (state_.telegrams == telegrams) return;
  state_.telegrams = telegrams;
  ++changes_;
}

void BlockStore::End(bool whole, const std::string& damage) {
  std::lock_guard<std::mutex> hold(lock_);
  state_.reading = false;
  state_.whole = whole;
  state_.damage = damage;
  ++changes_;
}

void BlockStore::SetSource(const std::string& source, const std::string& input) {
  std::lock_guard<std::mutex> hold(lock_);
  state_.source = source;
  state_.input = input;
  ++changes_;
}

ReportState BlockStore::state() const {
  std::lock_guard<std::mutex> hold(lock_);
  return state_;
}

std::vector<BlockSummary> BlockStore::Summaries(uint64_t after, size_t most, bool* more) const {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<BlockSummary> summaries;
  *more = false;
  if (blocks_.empty() || after >= blocks_.back()->summary.id) return summaries;
  // The ids kept follow one another: the first wanted is found at once.
  const uint64_t first = blocks_.front()->summary.id;
  size_t at = after < first ? 0 : static_cast<size_t>(after - first + 1);
  const size_t end = blocks_.size() - at > most ? at + most : blocks_.size();
  summaries.reserve(end - at);
  for (; at < end; ++at) summaries.push_back(blocks_[at]->summary);
  *more = end < blocks_.size();
  return summaries;
}

std::vector<std::shared_ptr<const StoredBlock>> BlockStore::Kept() const {
  std::lock_guard<std::mutex> hold(lock_);
  return std::vector<std::shared_ptr<const StoredBlock>>(blocks_.begin(), blocks_.end());
}

std::shared_ptr<const StoredBlock> BlockStore::Newest() const {
  std::lock_guard<std::mutex> hold(lock_);
  return blocks_.empty() ? nullptr : blocks_.back();
}

std::shared_ptr<const StoredBlock> BlockStore::ById(uint64_t id) const {
  std::lock_guard<std::mutex> hold(lock_);
  if (blocks_.empty() || id < blocks_.front()->summary.id || id > blocks_.back()->summary.id) return nullptr;
  return blocks_[static_cast<size_t>(id - blocks_.front()->summary.id)];
}

uint64_t BlockStore::changes() const {
  std::lock_guard<std::mutex> hold(lock_);
  return changes_;
}

size_t BlockStore::kept_bytes() const {
  std::lock_guard<std::mutex> hold(lock_);
  return bytes_;
}
