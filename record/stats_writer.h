// telegram-record's live statistics (--stats FILE): a JSON object a line,
// written by a thread of its own, so that a file or a pipe that is slow, or
// a pipe no one reads yet, never holds the run up. Only the newest line
// waits: one not written before the next comes is replaced by it. A
// failure stops the statistics alone, in words the run says once.
#ifndef RECORD_STATS_WRITER_H_
#define RECORD_STATS_WRITER_H_

#include <chrono>
#include <memory>
#include <string>
#include <thread>

class StatsWriter {
 public:
  StatsWriter() = default;
  ~StatsWriter();
  StatsWriter(const StatsWriter&) = delete;
  StatsWriter& operator=(const StatsWriter&) = delete;

  // Opens `path` (a file, made anew, or a pipe) in its thread, which it
  // starts. False, with words, if the thread could not be had.
  bool Start(const std::string& path, std::string* err);

  // The newest statistics, one line without its end.
  void Post(std::string line);

  // Writes the last line posted, waiting for it up to `wait`; a file or
  // pipe that takes nothing by then is left.
  void Finish(std::chrono::milliseconds wait);

  // Words of the failure that stopped the statistics, or "".
  std::string failure() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
  std::thread thread_;
};

#endif  // RECORD_STATS_WRITER_H_
