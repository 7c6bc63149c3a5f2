// The files telegram-plot writes into its folder. None is ever written
// through a link planted under its name: each is created new.
#ifndef PLOT_OUTPUT_FILE_H_
#define PLOT_OUTPUT_FILE_H_

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Writes `text` as the file at `path`, whole: into a temporary file
// created new beside it, which then takes its place, so that a browser
// never reads half of it and a link under either name is replaced, not
// followed. False, with `*err`, if it cannot.
bool PlaceFile(const std::string& path, std::string_view text, std::string* err);

// Writes `parts`, one after another, as a new file at `path`, for a file
// that nobody reads before it is whole (nothing names it yet). False, with
// `*err`, if it cannot, or if anything has that name already.
bool WriteNewFile(const std::string& path, const std::vector<std::string_view>& parts, std::string* err);

// A file that grows line by line while it is read: created new, then
// written through the descriptor it was created with, so that an addition
// costs the same however long the file already is. Closed by its
// destructor.
class GrowingFile {
 public:
  GrowingFile() = default;
  ~GrowingFile();
  GrowingFile(const GrowingFile&) = delete;
  GrowingFile& operator=(const GrowingFile&) = delete;

  // False, with `*err`, if it cannot be created (or anything is there).
  bool Create(const std::string& path, std::string* err);
  // Appends `text`, handed to the system at once, so that a reader sees
  // whole lines. False, with `*err`, if it cannot.
  bool Append(std::string_view text, std::string* err);

 private:
  FILE* file_ = nullptr;
  std::string path_;
};

#endif  // PLOT_OUTPUT_FILE_H_
