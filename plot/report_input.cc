#include "plot/report_input.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <utility>

#include "plot/input_read.h"

namespace {

// Read and not yet taken, at most, in pieces of 64 KB. From a pipe, 256 MB:
// more than the report of a whole run of the receiver (1000 telegrams, a
// block's values at most some 196 KB of text), so that the receiver is
// never held up while the folder's files wait for the disk. From a file,
// which holds up no writer, 4 MB.
const size_t kPieceSize = size_t{1} << 16;
const size_t kMostPiecesOfAPipe = 4096;
const size_t kMostPiecesOfAFile = 64;

// Buffers kept to be read into again, at most.
const size_t kMostSpare = 8;

// The longest a read waits before the reader looks whether it must stop.
const int kReadWaitMs = 100;

}  // namespace

ReportInput::~ReportInput() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      ending_ = kNow;
      changed_.notify_all();
    }
    thread_.join();
  }
  if (owned_ && file_ != nullptr) fclose(file_);
}

bool ReportInput::Open(const std::string& path, bool follow, std::string* err) {
  owned_ = !path.empty() && path != "-";
  file_ = owned_ ? fopen(path.c_str(), "rb") : stdin;
  if (file_ == nullptr) {
    *err = strerror(errno);
    return false;
  }
  // A pipe ends when its writer is done; only a file is waited at.
  follow_ = follow && owned_;
  // A thread is the one thing here the standard library can only refuse
  // with an exception; it is said as the other failures are.
  try {
    thread_ = std::thread(&ReportInput::ReadAll, this);
  } catch (const std::system_error& failure) {
    *err = std::string("cannot start the thread that reads it: ") + failure.what();
    return false;
  }
  return true;
}

void ReportInput::Deliver(std::string piece) {
  std::unique_lock<std::mutex> hold(lock_);
  const size_t most = owned_ ? kMostPiecesOfAFile : kMostPiecesOfAPipe;
  changed_.wait(hold, [this, most] { return pieces_.size() < most || ending_ == kNow; });
  pieces_.push_back(std::move(piece));
  changed_.notify_all();
}

void ReportInput::ReadAll() {
  int failure = 0;
  while (ending_ != kNow) {
    std::string piece;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (!spare_.empty()) {
        piece.swap(spare_.back());
        spare_.pop_back();
      }
    }
    piece.resize(kPieceSize);
    long n = 0;
    failure = ReadAvailable(file_, piece.data(), piece.size(), kReadWaitMs, &n);
    if (failure != 0) break;
    if (n > 0) {
      piece.resize(static_cast<size_t>(n));
      Deliver(std::move(piece));
      continue;
    }
    if (n == kNothingYet) {
      if (ending_ == kAtPause) break;
      continue;
    }
    if (n == 0 && follow_ && ending_ == kReading) {
      // The end of a file that is still being written: more may come.
      std::unique_lock<std::mutex> hold(lock_);
      changed_.wait_for(hold, std::chrono::milliseconds(kReadWaitMs), [this] { return ending_ != kReading; });
      continue;
    }
    break;
  }
  std::lock_guard<std::mutex> hold(lock_);
  error_ = failure;
  ended_ = true;
  changed_.notify_all();
}

bool ReportInput::Next(std::string* piece, int wait_ms) {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait_for(hold, std::chrono::milliseconds(wait_ms), [this] { return !pieces_.empty() || ended_; });
  if (piece->capacity() >= kPieceSize && spare_.size() < kMostSpare) {
    spare_.push_back(std::move(*piece));
    *piece = std::string();
  }
  piece->clear();
  if (!pieces_.empty()) {
    piece->swap(pieces_.front());
    pieces_.pop_front();
    changed_.notify_all();
    return true;
  }
  return !ended_;
}

void ReportInput::StopFollowing() {
  std::lock_guard<std::mutex> hold(lock_);
  if (ending_ == kReading) ending_ = kAtEnd;
  changed_.notify_all();
}

void ReportInput::StopAtPause() {
  std::lock_guard<std::mutex> hold(lock_);
  if (ending_ < kAtPause) ending_ = kAtPause;
  changed_.notify_all();
}
