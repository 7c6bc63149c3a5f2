#include "plot/folder_writer.h"

#include <chrono>
#include <system_error>
#include <utility>
#include <vector>

namespace {

// The state is written no more often than this while the report is read.
const auto kStateInterval = std::chrono::seconds(1);

// What a waiting block costs beside its values text.
const size_t kWaitingOverhead = 256;

// The blocks whose values go into one file, at most: a file costs the
// system far more to make than its bytes to write. A block waits for
// others to join it no longer than kGathering (the page looks for new
// blocks once a second).
const size_t kMostBlocksPerFile = 32;
const size_t kMostBytesPerFile = size_t{4} << 20;
const auto kGathering = std::chrono::milliseconds(100);

}  // namespace

FolderWriter::~FolderWriter() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    finishing_ = true;
    changed_.notify_all();
  }
  thread_.join();
}

bool FolderWriter::Start(const std::string& path, bool force, FolderFiles files, size_t most_waiting,
                         bool pass_over, std::string* err, int* status) {
  if (!folder_.Prepare(path, force, files, err, status)) return false;
  most_waiting_ = most_waiting;
  pass_over_ = pass_over;
  // A thread is the one thing here the standard library can only refuse
  // with an exception; it is said as the other failures are.
  try {
    thread_ = std::thread(&FolderWriter::WriteAll, this);
  } catch (const std::system_error& refused) {
    *err = std::string("cannot start the thread that writes the folder: ") + refused.what();
    *status = 1;
    return false;
  }
  started_ = true;
  return true;
}

bool FolderWriter::Add(ReportBlock&& block) {
  // Named in the order the blocks come, written or not, so that a name
  // never depends on the disk's pace.
  const uint64_t id = ++blocks_;
  std::string name = folder_.FreeName(block);
  const size_t cost = block.text.capacity() + name.size() + kWaitingOverhead;
  const auto since = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> hold(lock_);
  // The queue holds one block whatever its size, so that a bound below the
  // largest block still lets every block through a disk that keeps up.
  const auto full = [this, cost] { return !waiting_.empty() && waiting_bytes_ + cost > most_waiting_; };
  if (!pass_over_) changed_.wait(hold, [this, &full] { return !full() || !failure_.empty(); });
  if (!failure_.empty()) return false;
  if (full()) {
    ++passed_over_;
    return true;
  }
  waiting_bytes_ += cost;
  waiting_.push_back(FolderBlock{std::move(block), id, std::move(name), since, cost});
  changed_.notify_all();
  return true;
}

void FolderWriter::SetState(const ReportState& state) {
  std::lock_guard<std::mutex> hold(lock_);
  state_ = Counted(state);
  state_new_ = true;
}

ReportState FolderWriter::Counted(ReportState state) const {
  state.blocks = blocks_;
  state.kept = blocks_;
  state.passed_over = passed_over_;
  return state;
}

bool FolderWriter::Finish(const ReportState& state, std::string* err) {
  if (!thread_.joinable()) return true;
  {
    std::lock_guard<std::mutex> hold(lock_);
    state_ = Counted(state);
    state_new_ = true;
    finishing_ = true;
    changed_.notify_all();
  }
  thread_.join();
  *err = failure_;
  return failure_.empty();
}

std::string FolderWriter::failure() const {
  std::lock_guard<std::mutex> hold(lock_);
  return failure_;
}

void FolderWriter::WriteAll() {
  using Clock = std::chrono::steady_clock;
  auto state_written = Clock::now() - kStateInterval;
  std::vector<FolderBlock> group;
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    const auto now = Clock::now();
    // A group of blocks goes into one file: once it is as large as a file
    // holds, once its first block has waited long enough, once room is
    // short, or at the end.
    const bool group_due =
        !waiting_.empty() && (finishing_ || waiting_.size() >= kMostBlocksPerFile ||
                              waiting_bytes_ >= kMostBytesPerFile || waiting_bytes_ >= most_waiting_ / 2 ||
                              now - waiting_.front().since >= kGathering);
    // The state once a second while blocks wait too; the last one once
    // every block is listed, so that a page that reads it as the end has
    // them all.
    const bool state_due = state_new_ && (finishing_ ? waiting_.empty() : now - state_written >= kStateInterval);
    if (!group_due && !state_due) {
      if (finishing_ && waiting_.empty()) return;
      const auto wait = waiting_.empty() ? kStateInterval : kGathering - (now - waiting_.front().since);
      changed_.wait_for(hold, wait);
      continue;
    }
    std::string err;
    bool written = true;
    if (state_due) {
      const ReportState state = state_;
      state_new_ = false;
      hold.unlock();
      written = folder_.WriteState(state, &err);
      hold.lock();
      state_written = Clock::now();
    } else {
      // The group is written with the lock let go: the reading goes on.
      size_t bytes = 0;
      size_t cost = 0;
      group.clear();
      while (!waiting_.empty() && group.size() < kMostBlocksPerFile && (group.empty() || bytes < kMostBytesPerFile)) {
        bytes += waiting_.front().block.text.size();
        cost += waiting_.front().cost;
        group.push_back(std::move(waiting_.front()));
        waiting_.pop_front();
      }
      hold.unlock();
      written = folder_.Add(&group, &err);
      group.clear();
      hold.lock();
      waiting_bytes_ -= cost;
      changed_.notify_all();
    }
    if (!written) {
      failure_ = err;
      waiting_.clear();
      waiting_bytes_ = 0;
      changed_.notify_all();
      return;
    }
  }
}
