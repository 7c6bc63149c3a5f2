// The folder telegram-plot writes: a picture of each block with values,
// named by its scan and block number, the list of them, and the page that
// shows them (plot_page.h).
#ifndef PLOT_PLOT_FOLDER_H_
#define PLOT_PLOT_FOLDER_H_

#include <cstddef>
#include <string>

#include "plot/output_file.h"
#include "plot/plot_page.h"
#include "telegram/report_reader.h"

class PlotFolder {
 public:
  // Makes the folder at `path` ready: made anew, or, with `force`, one that
  // exists already, whose earlier plot's files are removed and nothing else.
  // False, with `*err`, if it exists and may not be written into, or cannot
  // be made.
  bool Prepare(const std::string& path, bool force, std::string* err);

  // Draws a block that has values: its picture, written whole before the
  // list names it. A block seen again (a second run in the same report, a
  // scanner restarted) gets "-2" and so on before the end of its name, so
  // that no picture takes another's place. False, with `*err`, if a file
  // cannot be written.
  bool AddPicture(const ReportBlock& block, std::string* err);

  // Writes the page, as `state` says.
  bool WritePage(const PageState& state, std::string* err);

  const std::string& path() const { return path_; }
  size_t pictures() const { return pictures_; }

 private:
  // The picture's file name, by scan and block number, not yet taken.
  std::string FreePictureName(const ReportBlock& block) const;

  std::string path_;
  GrowingFile list_;  // blocks.js
  size_t pictures_ = 0;
};

#endif  // PLOT_PLOT_FOLDER_H_
