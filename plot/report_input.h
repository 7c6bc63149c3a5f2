// The report as it comes in, from a file or from standard input. A thread
// of its own keeps reading, so that the receiver writing into a pipe is
// not held up while a block is handled: a pipe holds 64 KB, and the report
// of one large block is up to 190 KB. What it read waits in pieces of 64 KB,
// up to a bound in bytes; beyond it, the reading waits too. Following a
// file that is still being written, it waits at its end for more.
#ifndef PLOT_REPORT_INPUT_H_
#define PLOT_REPORT_INPUT_H_

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A piece of the input: its bytes, read into a buffer that is kept to be
// read into again.
struct InputPiece {
  std::unique_ptr<char[]> bytes;
  size_t size = 0;
};

// Owns the input's file and the thread that reads it; the destructor ends
// the thread (within the tenth of a second a read waits at most) and joins
// it before the file is closed.
class ReportInput {
 public:
  ReportInput() = default;
  ~ReportInput();
  ReportInput(const ReportInput&) = delete;
  ReportInput& operator=(const ReportInput&) = delete;

  // Starts reading `path`, or standard input for "" or "-"; with `follow`,
  // a file is waited at at its end. What is read and not yet taken is
  // `most_waiting` bytes at most (two pieces at least). False, with `*err`,
  // if the file cannot be opened.
  bool Open(const std::string& path, bool follow, size_t most_waiting, std::string* err);

  // The next piece of the input, waiting up to `wait_ms` for it; false once
  // the input is over and every piece taken. An empty piece: nothing came.
  // The buffer `*piece` held before is read into again, so that the pieces
  // of a long report cost no allocation.
  bool Next(InputPiece* piece, int wait_ms);

  // A file followed ends at what has come.
  void StopFollowing();
  // An interrupt: the input ends at its next pause (what is there already,
  // such as the last reports of a receiver that was interrupted too, is
  // still read), or at once if it has stalled.
  void StopAtPause();

  // The errno value of a failed read, or 0; once Next has returned false.
  int error() const { return error_; }
  // Whether the input's writer waits while it is not read (a pipe): what
  // comes from it must be taken at the pace it comes.
  bool holds_up_writer() const { return holds_up_writer_; }

 private:
  enum Ending { kReading, kAtEnd, kAtPause, kNow };

  void ReadAll();
  // Hands a piece over, waiting while the backlog is full.
  void Deliver(InputPiece piece);

  FILE* file_ = nullptr;
  bool owned_ = false;   // opened here, and closed here
  bool follow_ = false;  // wait at the end of a file for more
  bool holds_up_writer_ = false;
  size_t most_pieces_ = 2;  // waiting at once
  std::atomic<int> ending_{kReading};
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<InputPiece> pieces_;  // read, not yet taken
  std::vector<InputPiece> spare_;  // taken, to be read into again
  bool ended_ = false;              // the input is over
  int error_ = 0;
  std::thread thread_;  // last: started once all else is ready
};

#endif  // PLOT_REPORT_INPUT_H_
