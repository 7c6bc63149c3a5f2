// How telegram-record's run is stopped and its output written. One
// implementation per platform (run_control-posix.cc: SIGINT, SIGTERM and
// SIGHUP taken by a thread of their own with sigwait; run_control-win32.cc:
// the console's Ctrl-C, Ctrl-Break and close); the build picks one.
//
// A stop ends the receiver's wait at once (the library's cancel), and the
// run then closes its files whole. Standard output is written as the
// receiver writes it: a reader that is slow holds the writing up, but once
// a stop has come, a reader that takes nothing for a second ends the
// writing there, with what was written an exact prefix.
#ifndef RECORD_RUN_CONTROL_H_
#define RECORD_RUN_CONTROL_H_

#include <atomic>
#include <cstddef>
#include <thread>

#include "tgr/tgr.hpp"

class RunControl {
 public:
  RunControl() = default;
  ~RunControl();
  RunControl(const RunControl&) = delete;
  RunControl& operator=(const RunControl&) = delete;

  // Takes the stop signals from now on, for `receiver` (which must outlive
  // this). 0, or the system's error number.
  int Start(tgr::Receiver* receiver);

  bool stop_requested() const { return stop_.load(); }

  // Writes all `size` bytes to standard output. 0; EINTR if the writing was
  // ended after a stop; or the errno value of a failure.
  int WriteOut(const char* data, size_t size);

  // Called by the platform's handler: the run stops.
  void RequestStop();

 private:
  tgr::Receiver* receiver_ = nullptr;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ending_{false};
  bool started_ = false;
  std::thread signals_;  // POSIX: the thread that takes the signals
};

// Whether standard error is a terminal a person watches (for the status line).
bool StandardErrorIsTerminal();

#endif  // RECORD_RUN_CONTROL_H_
