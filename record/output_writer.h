// Standard output of telegram-record, written by a thread of its own: the
// receiving thread offers each telegram and never waits; the telegrams wait
// in a bounded queue (datagram_queue.h) until this thread has formatted
// and written them. A telegram that finds no room is skipped in the output
// alone (the recording has it), and counted.
//
// Its state is shared with its thread, so that a thread held for good in a
// write (a reader that stopped reading, on a system whose write cannot be
// ended) can be let go at the end, and the run still end.
#ifndef RECORD_OUTPUT_WRITER_H_
#define RECORD_OUTPUT_WRITER_H_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "record/record_options.h"
#include "telegram/report_output.h"
#include "tgr/tgr.h"

class RunControl;

class OutputWriter {
 public:
  OutputWriter() = default;
  ~OutputWriter();
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;

  // Writes the format's opening (the report's banner, the CSV header) and
  // takes telegrams from now on, within `backlog` bytes. False, with words,
  // if its memory or its thread could not be had.
  bool Start(OutputFormat format, LineEnds line_ends, size_t backlog, std::string* err);

  // From the receiving thread: the telegram is queued, or skipped if there
  // is no room. Never waits.
  void Offer(const tgr_datagram& datagram, const unsigned char* bytes);

  // The run is over: what waits is written, then the format's end (the
  // report's closing lines) if `closing`. Waits for the writing as long as
  // it goes on; once `control` has a stop, a reader that takes nothing for
  // `grace` is left, and what it did not take is counted skipped.
  void Finish(bool closing, const RunControl& control, std::chrono::milliseconds grace);

  // Telegrams not written: no room for them, or left at the end.
  uint64_t skipped() const;
  // The system's error number of a failed write (0: none): the run ends.
  int failure() const;
  // Telegrams waiting now.
  uint64_t waiting() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
  std::thread thread_;
  // Once its thread was let go: what it did not write, for good.
  bool left_ = false;
  uint64_t left_skipped_ = 0;
};

#endif  // RECORD_OUTPUT_WRITER_H_
