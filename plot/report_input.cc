#include "plot/report_input.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <utility>

#include "plot/input_read.h"

namespace {

// The input is read in pieces of up to 256 KB (a pipe gives 64 KB at most
// at once). From a file, which holds up no writer, 4 MB wait at most.
const size_t kPieceSize = size_t{1} << 18;
const size_t kMostPiecesOfAFile = 16;

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

bool ReportInput::Open(const std::string& path, bool follow, size_t most_waiting, std::string* err) {
  owned_ = !path.empty() && path != "-";
  most_pieces_ = std::max<size_t>(2, most_waiting / kPieceSize);
  if (owned_) most_pieces_ = std::min(most_pieces_, kMostPiecesOfAFile);
  file_ = owned_ ? fopen(path.c_str(), "rb") : stdin;
  if (file_ == nullptr) {
    *err = strerror(errno);
    return false;
  }
  // A pipe ends when its writer is done; only a file is waited at.
  follow_ = follow && owned_;
  holds_up_writer_ = HoldsUpItsWriter(file_);
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

void ReportInput::Deliver(InputPiece piece) {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [this] { return pieces_.size() < most_pieces_ || ending_ == kNow; });
  pieces_.push_back(std::move(piece));
  changed_.notify_all();
}

void ReportInput::ReadAll() {
  int failure = 0;
  while (ending_ != kNow) {
    InputPiece piece;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (!spare_.empty()) {
        piece = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    // Not filled with zeros first: only the bytes read are ever looked at.
    if (!piece.bytes) piece.bytes.reset(new char[kPieceSize]);  // NOLINT(cppcoreguidelines-owning-memory)
    long n = 0;
    failure = ReadAvailable(file_, piece.bytes.get(), kPieceSize, kReadWaitMs, &n);
    if (failure != 0) break;
    if (n > 0) {
      piece.size = static_cast<size_t>(n);
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

bool ReportInput::Next(InputPiece* piece, int wait_ms) {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait_for(hold, std::chrono::milliseconds(wait_ms), [this] { return !pieces_.empty() || ended_; });
  if (piece->bytes && spare_.size() < kMostSpare) spare_.push_back(std::move(*piece));
  *piece = InputPiece();
  if (!pieces_.empty()) {
    *piece = std::move(pieces_.front());
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
