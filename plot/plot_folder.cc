#include "plot/plot_folder.h"

#include <filesystem>

#include "plot/block_name.h"
#include "plot/block_picture.h"

namespace fs = std::filesystem;

namespace {

// A picture's file name: the block's name, "-2" after it for the second
// picture of the same block, and this ending.
const char kPictureNameEnd[] = ".svg";
// What a file being written is called until it takes its place.
const char kPartial[] = ".partial-";

bool StartsWith(const std::string& name, const std::string& start) { return name.compare(0, start.size(), start) == 0; }

bool EndsWith(const std::string& name, const std::string& end) {
  return name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
}

// A file that an earlier plot wrote, or began to.
bool IsPlotFile(const std::string& name) {
  const std::string whole = name.substr(0, name.find(kPartial));
  return whole == kPageName || whole == kPictureListName ||
         (StartsWith(whole, kBlockNameStart) && EndsWith(whole, kPictureNameEnd));
}

// Whether anything, a link that leads nowhere included, has this name.
bool Taken(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

}  // namespace

bool PlotFolder::Prepare(const std::string& path, bool force, std::string* err) {
  path_ = path;
  std::error_code error;
  if (Taken(path)) {
    if (!fs::is_directory(path, error)) {
      *err = path + " exists and is no folder";
      return false;
    }
    if (!force) {
      *err = path + " exists already; --force writes into it";
      return false;
    }
    for (fs::directory_iterator entry(path, error), end; !error && entry != end; entry.increment(error)) {
      if (IsPlotFile(entry->path().filename().string())) fs::remove(entry->path(), error);
    }
    if (error) {
      *err = "cannot clear " + path + ": " + error.message();
      return false;
    }
  } else {
    fs::create_directories(path, error);
    if (error) {
      *err = "cannot make " + path + ": " + error.message();
      return false;
    }
  }
  return list_.Create((fs::path(path) / kPictureListName).string(), err);
}

std::string PlotFolder::FreePictureName(const ReportBlock& block) const {
  const std::string start = BlockName(block);
  std::string name = start + kPictureNameEnd;
  for (int seen = 2; Taken(fs::path(path_) / name); ++seen) {
    name = start + "-" + std::to_string(seen) + kPictureNameEnd;
  }
  return name;
}

bool PlotFolder::AddPicture(const ReportBlock& block, std::string* err) {
  const std::string name = FreePictureName(block);
  if (!PlaceFile((fs::path(path_) / name).string(), BlockPicture(block), err)) return false;
  ++pictures_;
  return list_.Append(PictureListLine(PagePicture{name, BlockHeading(block), block.cut_short}), err);
}

bool PlotFolder::WritePage(const PageState& state, std::string* err) {
  return PlaceFile((fs::path(path_) / kPageName).string(), PlotPage(state), err);
}
