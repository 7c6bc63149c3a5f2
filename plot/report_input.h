// The report as it comes in, from a file or from standard input. A thread
// of its own keeps reading, so that the receiver writing into a pipe is
// never held up while a picture is drawn: a pipe holds 64 KB, and the
// report of one large block is up to 190 KB. Following a file that is still
// being written, it waits at its end for more.
#ifndef PLOT_REPORT_INPUT_H_
#define PLOT_REPORT_INPUT_H_

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

struct ReportInput {
  FILE* file;
  bool owned;               // opened here, and closed here
  bool follow;              // wait at the end of a file for more
  std::atomic<bool> stop{false};
  std::thread thread;
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::string> pieces;  // read, not yet taken
  bool ended = false;              // the input is over
  int error = 0;                   // errno of a failed read
};

// Starts reading `path`, or standard input for "" or "-". False with `*why`
// if the file cannot be opened.
bool OpenReportInput(ReportInput* input, const std::string& path, bool follow, std::string* why);

// The next piece of the input, waiting for it; false once the input is
// over and taken. Returns within `wait` milliseconds with an empty piece if
// nothing came.
bool NextInput(ReportInput* input, std::string* piece, int wait);

// Stops following a file: the input ends at what has come.
void StopFollowing(ReportInput* input);

// Waits for the reading thread and closes the file. 0, or the errno of a
// failed read.
int CloseReportInput(ReportInput* input);

// Leaves the input unread, for a program that ends at once (std::_Exit):
// its reading thread may be waiting for a pipe that never ends.
void AbandonReportInput(ReportInput* input);

#endif  // PLOT_REPORT_INPUT_H_
