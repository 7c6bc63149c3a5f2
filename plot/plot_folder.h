// The folder telegram-plot writes: for each block with values, named by its
// scan and block number, its values for the page (as the report prints
// them, in values/NAME.js, a file each group of blocks written together,
// named as its first), and if asked for, its picture (NAME.svg) and its
// values as CSV (NAME.csv); the list of the blocks (blocks.js, a line added
// for each, naming the file its values are in); how far the report has
// come (state.js); and the page that shows them (index.html with its
// scripts), which works from the disk with no server and draws each block,
// and offers its CSV, from its values. Adding a block costs the same
// however many came before it.
#ifndef PLOT_PLOT_FOLDER_H_
#define PLOT_PLOT_FOLDER_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "plot/block_data.h"
#include "plot/output_file.h"
#include "telegram/report_reader.h"

// A block for the folder: its id (its place among the blocks with values)
// and name, and when it came, and what it costs while it waits.
struct FolderBlock {
  ReportBlock block;
  uint64_t id;
  std::string name;
  std::chrono::steady_clock::time_point since;
  size_t cost;
};

// What the folder holds of each block beside its values for the page.
struct FolderFiles {
  bool pictures = false;  // NAME.svg
  bool csv = false;       // NAME.csv
};

class PlotFolder {
 public:
  // Makes the folder at `path` ready, with the page in it: made anew, or,
  // with `force`, one that exists already, whose earlier plot's files are
  // removed and nothing else. False, with `*err`, if it exists and may not
  // be written into, or cannot be made (`*status` 2), or a file in it
  // cannot be written or removed (`*status` 1).
  bool Prepare(const std::string& path, bool force, FolderFiles files, std::string* err, int* status);

  // The name of a block's files, by scan and block number, that no file
  // has yet: a block seen again (a second run in the same report, a
  // scanner restarted) gets "-2" and so on after it, so that no file takes
  // another's place. Each block is named once, in the order they come.
  std::string FreeName(const ReportBlock& block);

  // Adds blocks that have values, one after another: their values in one
  // file, named as the first of them (values/NAME.js), and each one's
  // picture and CSV if asked for, written whole before the list names
  // them. A block's values are made numbers only for a picture. False,
  // with `*err`, if a file cannot be written.
  bool Add(std::vector<FolderBlock>* blocks, std::string* err);

  // Says how far the report has come (state.js). The folder keeps every
  // block it was given.
  bool WriteState(const ReportState& state, std::string* err);

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  FolderFiles files_;
  GrowingFile list_;     // blocks.js
  std::string scratch_;  // a block's CSV, its room kept for the next
  std::unordered_map<std::string, uint32_t> seen_;  // blocks so far by name
};

#endif  // PLOT_PLOT_FOLDER_H_
