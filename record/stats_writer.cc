#include "record/stats_writer.h"

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>

struct StatsWriter::State {
  std::string path;
  std::mutex mutex;
  std::condition_variable changed;
  std::string line;  // the newest, not yet written
  bool pending = false;
  bool finishing = false;
  bool done = false;
  std::string failure;

  void Fail(const std::string& doing, int error) {
    std::lock_guard<std::mutex> lock(mutex);
    failure = doing + " " + path + ": " + strerror(error != 0 ? error : EIO);
  }

  void Run() {
    errno = 0;
    FILE* file = fopen(path.c_str(), "w");
    if (file == nullptr) Fail("cannot write the statistics to", errno);
    std::unique_lock<std::mutex> lock(mutex);
    while (file != nullptr) {
      changed.wait(lock, [this] { return pending || finishing; });
      if (!pending) break;
      std::string text = std::move(line);
      pending = false;
      lock.unlock();
      text.push_back('\n');
      errno = 0;
      const bool written = fwrite(text.data(), 1, text.size(), file) == text.size() && fflush(file) == 0;
      const int error = errno;
      lock.lock();
      if (!written) {
        failure = "cannot write the statistics to " + path + ": " + strerror(error != 0 ? error : EIO);
        break;
      }
    }
    lock.unlock();
    if (file != nullptr) fclose(file);
    lock.lock();
    done = true;
    changed.notify_all();
  }
};

StatsWriter::~StatsWriter() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->finishing = true;
    state_->changed.notify_all();
  }
  // Its state is its own as well: held in an open or a write, it is left.
  thread_.detach();
}

bool StatsWriter::Start(const std::string& path, std::string* err) {
  state_ = std::make_shared<State>();
  state_->path = path;
  try {
    thread_ = std::thread([state = state_] { state->Run(); });
  } catch (const std::system_error& thrown) {
    *err = std::string("cannot start the thread that writes the statistics: ") + thrown.what();
    return false;
  }
  return true;
}

void StatsWriter::Post(std::string line) {
  if (!state_) return;
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (!state_->failure.empty() || state_->finishing) return;
  state_->line = std::move(line);
  state_->pending = true;
  state_->changed.notify_all();
}

void StatsWriter::Finish(std::chrono::milliseconds wait) {
  if (!thread_.joinable()) return;
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->finishing = true;
  state_->changed.notify_all();
  if (state_->changed.wait_for(lock, wait, [this] { return state_->done; })) {
    lock.unlock();
    thread_.join();
    return;
  }
  lock.unlock();
  thread_.detach();
}

std::string StatsWriter::failure() const {
  if (!state_) return "";
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->failure;
}
