// How telegram-record's run (and telegram-sender's replay) is stopped, and
// telegram-record's standard output written.
// One implementation per platform (run_control-posix.cc: SIGINT, SIGTERM
// and SIGHUP taken by a thread of their own with sigwait;
// run_control-win32.cc: the console's Ctrl-C, Ctrl-Break and close); the
// build picks one.
//
// A stop ends the receiver's wait at once (the library's cancel); the run
// then takes what is still waiting in the socket and closes its files
// whole. Standard output is written by a thread of its own (output_writer.h),
// so that its reader never holds the receiving up.
#ifndef RECORD_RUN_CONTROL_H_
#define RECORD_RUN_CONTROL_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "tgr/tgr.hpp"

class RunControl {
 public:
  RunControl() = default;
  ~RunControl();
  RunControl(const RunControl&) = delete;
  RunControl& operator=(const RunControl&) = delete;

  // Takes the stop signals from now on, for `receiver` (which must outlive
  // this; none: the stop is only noted). 0, or the system's error number.
  int Start(tgr::Receiver* receiver);

  bool stop_requested() const { return stop_.load(); }
  // Set once a stop came, for a loop that looks at it.
  const std::atomic<bool>* stop_flag() const { return &stop_; }

  // Called by the platform's handler: the run stops.
  void RequestStop();

 private:
  tgr::Receiver* receiver_ = nullptr;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ending_{false};
  bool started_ = false;
  std::thread signals_;  // POSIX: the thread that takes the signals
};

// Writes all `size` bytes to standard output, waiting for a reader that is
// slow; `*written` grows as they go. 0, or the system's error number.
int WriteStandardOutput(const char* data, size_t size, std::atomic<uint64_t>* written);

// Whether standard error is a terminal a person watches (for the status line).
bool StandardErrorIsTerminal();

#endif  // RECORD_RUN_CONTROL_H_
