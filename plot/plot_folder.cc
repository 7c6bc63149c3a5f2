#include "plot/plot_folder.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <filesystem>

#include "plot/block_name.h"
#include "plot/block_picture.h"
#include "plot/block_reader.h"
#include "plot/page_assets.h"

namespace fs = std::filesystem;

namespace {

// The files of a block: its name with one of these endings, and its values
// for the page in this folder.
const char kPictureEnding[] = ".svg";
const char kValuesEnding[] = ".csv";
const char kValuesFolder[] = "values";
const char kScriptEnding[] = ".js";
const char kListName[] = "blocks.js";
const char kStateName[] = "state.js";
// What a file being written is called until it takes its place.
const char kPartial[] = ".partial-";

bool EndsWith(const std::string& name, const std::string& end) {
  return name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
}

// A file that an earlier plot wrote, or began to.
bool IsPlotFile(const std::string& name) {
  const std::string whole = name.substr(0, name.find(kPartial));
  if (whole == kListName || whole == kStateName) return true;
  for (const PageAsset& asset : PageAssets()) {
    if (whole == asset.name) return true;
  }
  const auto block_file = [&whole](const char* ending) {
    return EndsWith(whole, ending) && IsBlockName(whole.substr(0, whole.size() - strlen(ending)));
  };
  const char* const endings[] = {kPictureEnding, kValuesEnding, kScriptEnding};
  return std::any_of(std::begin(endings), std::end(endings), block_file);
}

// Whether anything, a link that leads nowhere included, has this name.
bool Taken(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

// Removes an earlier plot's files from `folder`, and nothing else.
bool Clear(const fs::path& folder, std::string* err) {
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    if (!IsPlotFile(entry->path().filename().string())) continue;
    // A failure here is said before the next step could forget it.
    if (!fs::remove(entry->path(), error) && error) {
      *err = "cannot remove " + entry->path().string() + ": " + error.message();
      return false;
    }
  }
  if (error) *err = "cannot clear " + folder.string() + ": " + error.message();
  return !error;
}

}  // namespace

bool PlotFolder::Prepare(const std::string& path, bool force, FolderFiles files, std::string* err, int* status) {
  path_ = path;
  files_ = files;
  std::error_code error;
  const fs::path values = fs::path(path) / kValuesFolder;
  // A folder that may not be used is a bad argument; once it may, what
  // cannot be written into it is a failure of the writing.
  *status = 2;
  if (Taken(path)) {
    if (!fs::is_directory(path, error)) {
      *err = path + " exists and is no folder";
      return false;
    }
    if (!force) {
      *err = path + " exists already; --force writes into it";
      return false;
    }
    *status = 1;
    if (!Clear(path, err)) return false;
    // The folder of values is cleared too; anything else by its name (a
    // link planted there) goes, so that nothing is written through it.
    if (fs::is_directory(fs::symlink_status(values, error))) {
      if (!Clear(values, err)) return false;
    } else if (Taken(values)) {
      fs::remove(values, error);
    }
  }
  fs::create_directories(values, error);
  if (error) {
    *err = "cannot make " + values.string() + ": " + error.message();
    return false;
  }
  *status = 1;
  for (const PageAsset& asset : PageAssets()) {
    if (!PlaceFile((fs::path(path) / asset.name).string(), asset.bytes, err)) return false;
  }
  return list_.Create((fs::path(path) / kListName).string(), err);
}

std::string PlotFolder::FreeName(const ReportBlock& block) {
  // The folder held no block's files when it was prepared, so the blocks
  // named so far are all there are: counting them costs the same however
  // many share a name.
  const std::string base = BlockName(block);
  const uint32_t seen = ++seen_[base];
  return seen == 1 ? base : base + "-" + std::to_string(seen);
}

bool PlotFolder::Add(std::vector<FolderBlock>* blocks, std::string* err) {
  if (blocks->empty()) return true;
  const fs::path folder(path_);
  // Each file is new and whole before the list names its blocks, so the
  // page never reads one half written.
  for (FolderBlock& b : *blocks) {
    if (files_.pictures) {
      ParseValues(b.block.text, b.block.text_values, &b.block.values);
      if (!WriteNewFile((folder / (b.name + kPictureEnding)).string(), {BlockPicture(b.block)}, err)) return false;
    }
    if (files_.csv) {
      scratch_.clear();
      AppendValuesCsv(b.block.text, &scratch_);
      if (!WriteNewFile((folder / (b.name + kValuesEnding)).string(), {scratch_}, err)) return false;
    }
  }
  // The values are digits and tabs, which a script's string holds as they
  // are: they go out as the report gave them, between a head and a tail.
  const std::string& file = blocks->front().name;
  std::vector<std::string> heads;
  heads.reserve(blocks->size());
  std::vector<std::string_view> parts;
  parts.reserve(3 * blocks->size());
  std::string list;
  for (const FolderBlock& b : *blocks) {
    heads.push_back("telegramPlot.values(" + JsonString(b.name) + ",\"");
    parts.insert(parts.end(), {heads.back(), b.block.text, "\");\n"});
    BlockSummary summary = SummaryOf(b.block, b.id, b.name);
    summary.file = file;
    list += "telegramPlot.block(" + SummaryJson(summary) + ");\n";
  }
  if (!WriteNewFile((folder / kValuesFolder / (file + kScriptEnding)).string(), parts, err)) return false;
  return list_.Append(list, err);
}

bool PlotFolder::WriteState(const ReportState& state, std::string* err) {
  return PlaceFile((fs::path(path_) / kStateName).string(), "telegramPlot.state(" + StateJson(state) + ");\n", err);
}
