// The folder telegram-plot writes: for each block with values, named by its
// scan and block number, its picture (SVG), its values as CSV, and its
// values for the page (values/NAME.js); the list of the blocks (blocks.js,
// a line added for each); how far the report has come (state.js); and the
// page that shows them (index.html with its scripts), which works from the
// disk with no server. Adding a block costs the same however many came
// before it.
#ifndef PLOT_PLOT_FOLDER_H_
#define PLOT_PLOT_FOLDER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "plot/block_data.h"
#include "plot/output_file.h"
#include "telegram/report_reader.h"

class PlotFolder {
 public:
  // Makes the folder at `path` ready, with the page in it: made anew, or,
  // with `force`, one that exists already, whose earlier plot's files are
  // removed and nothing else. False, with `*err`, if it exists and may not
  // be written into, or cannot be made (`*status` 2), or a file in it
  // cannot be written or removed (`*status` 1).
  bool Prepare(const std::string& path, bool force, std::string* err, int* status);

  // Adds a block that has values: its files, written whole before the list
  // names it. A block seen again (a second run in the same report, a
  // scanner restarted) gets "-2" and so on after its name, so that no file
  // takes another's place. False, with `*err`, if a file cannot be written.
  bool Add(const ReportBlock& block, std::string* err);

  // Says how far the report has come (state.js). The folder keeps every
  // block.
  bool WriteState(ReportState state, std::string* err);

  const std::string& path() const { return path_; }
  uint64_t blocks() const { return blocks_; }

 private:
  // The block's name, by scan and block number, that no file has yet.
  std::string FreeName(const ReportBlock& block);

  std::string path_;
  GrowingFile list_;     // blocks.js
  std::string scratch_;  // a block's text, its room kept for the next
  uint64_t blocks_ = 0;
  std::unordered_map<std::string, uint32_t> seen_;  // blocks so far by name
};

#endif  // PLOT_PLOT_FOLDER_H_
