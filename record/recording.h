// telegram-record's recording: one pcapng file, or files that rotate after
// a size or a time, the newest N kept (a ring) or all, as dumpcap's ring
// buffer does. Each file is a whole pcapng of its own that replays and
// opens alone; its name says when it starts and sorts by it:
// run.pcapng becomes run_20261210T113000Z_00001.pcapng, ...
#ifndef RECORD_RECORDING_H_
#define RECORD_RECORDING_H_

#include <cstdint>
#include <deque>
#include <string>

#include "tgr/tgr.hpp"

struct RecordingPlan {
  std::string path;             // as given; with rotation, the names are made from it
  uint64_t rotate_bytes = 0;    // a new file once one holds this many bytes; 0: never
  int64_t rotate_seconds = 0;   // a new file once one is this old; 0: never
  long ring = 0;                // the newest files kept; 0: every one
};

class Recording {
 public:
  // Opens the first file, starting at `now_ns` (ns since 1970). False, with
  // words, if it cannot be created.
  bool Open(const RecordingPlan& plan, int64_t now_ns, std::string* err);

  // Records one telegram into the file it belongs in, a new one first if
  // the one being written is full or old enough. False, with words, if a
  // file could not be written, closed or made: nothing more is recorded,
  // and every file holds whole packets to its end.
  bool Write(const tgr_datagram& datagram, const unsigned char* bytes, uint32_t destination_address,
             uint16_t destination_port, std::string* err);

  // Closes the file being written; false, with words, if it did not all
  // reach it.
  bool Close(std::string* err);

  bool rotating() const { return plan_.rotate_bytes > 0 || plan_.rotate_seconds > 0; }
  uint64_t packets() const { return packets_ + recorder_.packets(); }
  // The file being written, or the last one written.
  const std::string& current() const { return current_; }
  // Where the telegrams went, for the summary: "in run.pcapng", or "in 3
  // files, run_..._00001.pcapng to run_..._00003.pcapng", with those the
  // ring let go.
  std::string Where() const;

  // The name of a rotated file: `path` with its start time (UTC) and number
  // put before its extension.
  static std::string RotatedName(const std::string& path, int64_t start_ns, uint64_t number);

 private:
  bool Next(int64_t start_ns, std::string* err);

  RecordingPlan plan_;
  tgr::Recorder recorder_;
  std::string current_;
  int64_t started_ns_ = 0;     // of the file being written
  uint64_t packets_ = 0;       // in the files closed
  uint64_t files_ = 0;         // made in all
  std::string first_;          // the first file made
  std::deque<std::string> kept_;  // the ring's files, oldest first
  uint64_t removed_ = 0;
  bool failed_ = false;
};

#endif  // RECORD_RECORDING_H_
