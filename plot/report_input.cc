#include "plot/report_input.h"

#include "plot/input_read.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace {

// Read and not yet taken, at most, in pieces of 64 KB. From a pipe, 128 MB:
// a backlog of some 700 of the largest blocks, so that the writer is not
// held up while the drawing lags for a while (the files it writes may take
// the disk a moment). From a file, which holds up no writer, 4 MB.
const size_t kMostPiecesOfAPipe = 2048;
const size_t kMostPiecesOfAFile = 64;

void ReadAll(ReportInput* input) {
  for (;;) {
    std::string piece(size_t{1} << 16, '\0');
    const long n = ReadAvailable(input->file, piece.data(), piece.size());
    if (n > 0) {
      piece.resize(static_cast<size_t>(n));
      std::unique_lock<std::mutex> hold(input->lock);
      const size_t most = input->owned ? kMostPiecesOfAFile : kMostPiecesOfAPipe;
      input->changed.wait(hold, [input, most] { return input->pieces.size() < most || input->stop; });
      input->pieces.push_back(std::move(piece));
      input->changed.notify_all();
      continue;
    }
    if (n == 0 && input->follow && !input->stop) {
      // The end of a file that is still being written: more may come.
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    std::lock_guard<std::mutex> hold(input->lock);
    if (n < 0) input->error = errno != 0 ? errno : EIO;
    input->ended = true;
    input->changed.notify_all();
    return;
  }
}

}  // namespace

bool OpenReportInput(ReportInput* input, const std::string& path, bool follow, std::string* why) {
  input->owned = !path.empty() && path != "-";
  input->file = input->owned ? fopen(path.c_str(), "rb") : stdin;
  if (input->file == nullptr) {
    *why = strerror(errno);
    return false;
  }
  // A pipe ends when its writer is done; only a file is waited at.
  input->follow = follow && input->owned;
  input->thread = std::thread(ReadAll, input);
  return true;
}

bool NextInput(ReportInput* input, std::string* piece, int wait) {
  std::unique_lock<std::mutex> hold(input->lock);
  input->changed.wait_for(hold, std::chrono::milliseconds(wait),
                          [input] { return !input->pieces.empty() || input->ended; });
  piece->clear();
  if (!input->pieces.empty()) {
    piece->swap(input->pieces.front());
    input->pieces.pop_front();
    input->changed.notify_all();
    return true;
  }
  return !input->ended;
}

void StopFollowing(ReportInput* input) {
  std::lock_guard<std::mutex> hold(input->lock);
  input->stop = true;
  input->changed.notify_all();
}

int CloseReportInput(ReportInput* input) {
  StopFollowing(input);
  if (input->thread.joinable()) input->thread.join();
  if (input->owned) fclose(input->file);
  return input->error;
}

void AbandonReportInput(ReportInput* input) {
  StopFollowing(input);
  if (input->thread.joinable()) input->thread.detach();
}
