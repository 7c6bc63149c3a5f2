// The folder's files written by a thread of their own, so that the report
// is read at the pace it comes however slow the disk: blocks wait for it
// in a queue bounded in bytes. From a pipe, a block that finds the queue
// full is passed over (counted, and said on the page) instead of holding
// up the reading, and with it the receiver; from a file, which holds up
// no writer, the reading waits for room.
#ifndef PLOT_FOLDER_WRITER_H_
#define PLOT_FOLDER_WRITER_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "plot/block_data.h"
#include "plot/plot_folder.h"
#include "telegram/report_reader.h"

class FolderWriter {
 public:
  FolderWriter() = default;
  // Writes what waits, then stops the thread.
  ~FolderWriter();
  FolderWriter(const FolderWriter&) = delete;
  FolderWriter& operator=(const FolderWriter&) = delete;

  // Makes the folder ready (as PlotFolder::Prepare) and starts writing into
  // it, with at most `most_waiting` bytes of blocks waiting, and beyond them
  // blocks passed over (`pass_over`) or waited for. False, with `*err` and
  // the exit status in `*status`.
  bool Start(const std::string& path, bool force, FolderFiles files, size_t most_waiting, bool pass_over,
             std::string* err, int* status);

  // A block with values, as the next id: queued for writing (its values
  // taken), or passed over if the queue has no room for it, or queued once
  // there is. False once a write has failed: failure() says what.
  bool Add(ReportBlock&& block);
  // How far the report has come: written at most once a second, and at
  // the end. Its counts of blocks are the folder's own.
  void SetState(const ReportState& state);
  // Writes every block queued and the last state, and stops. False, with
  // `*err`, if a write failed.
  bool Finish(const ReportState& state, std::string* err);

  bool started() const { return started_; }
  std::string failure() const;
  uint64_t blocks() const { return blocks_; }
  uint64_t passed_over() const { return passed_over_; }

 private:
  void WriteAll();
  // The state as the folder says it: every block named, those passed over.
  ReportState Counted(ReportState state) const;

  PlotFolder folder_;
  bool started_ = false;
  size_t most_waiting_ = 0;
  bool pass_over_ = false;
  uint64_t blocks_ = 0;       // named, written or not (the reading's thread)
  uint64_t passed_over_ = 0;  // of them, not written
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::deque<FolderBlock> waiting_;
  size_t waiting_bytes_ = 0;
  ReportState state_{};
  bool state_new_ = false;
  bool finishing_ = false;
  std::string failure_;  // the first write that failed
  std::thread thread_;   // last: started once all else is ready
};

#endif  // PLOT_FOLDER_WRITER_H_
