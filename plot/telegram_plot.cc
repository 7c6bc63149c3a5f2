// telegram-plot: a picture of every block of values in a report of
// telegram-receiver, and a page that shows them all in the report's order.
// It reads the report from a file or from standard input, finished or
// still being written, and writes a folder: one SVG for each type-6 block
// that has values, and index.html.
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "plot/block_picture.h"
#include "plot/plot_page.h"
#include "plot/report_input.h"
#include "telegram/report_reader.h"

#ifndef TELEGRAM_VERSION
#define TELEGRAM_VERSION "unknown"
#endif

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "usage: telegram-plot [--follow] [--force] -o FOLDER [REPORT]\n"
    "Draws every block of values in a report of telegram-receiver: one SVG for\n"
    "each type-6 block that has values, named by its scan and block number, and\n"
    "index.html, which shows them all in the report's order. The report is read\n"
    "from the file REPORT, or from standard input if there is none or it is -,\n"
    "with Linux line ends or those of Windows:\n"
    "  telegram-receiver | telegram-plot -o run1\n"
    "\n"
    "  -o, --output FOLDER  the folder to write; it must not exist yet\n"
    "  --force              write into FOLDER even if it exists, replacing the\n"
    "                       pictures and the page of an earlier plot\n"
    "  --follow             the report is still being written: rewrite the page as\n"
    "                       blocks arrive (it reloads itself in the browser), and\n"
    "                       keep reading REPORT at its end until the run is over\n"
    "  --help               show this text (also -h, -?, /?)\n"
    "  --version            show the version\n";

struct PlotOptions {
  std::string output;
  std::string input;  // empty or "-" for standard input
  bool follow = false;
  bool force = false;
};

enum PlotCommand { kPlot, kShowHelp, kShowVersion, kBadArguments };

PlotCommand ParsePlotOptions(int argc, char** argv, PlotOptions* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--help" || word == "-h" || word == "-?" || word == "/?") return kShowHelp;
    if (word == "--version") return kShowVersion;
    if (word == "--follow") {
      options->follow = true;
    } else if (word == "--force") {
      options->force = true;
    } else if (word == "-o" || word == "--output") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        *error = word + " needs a value (FOLDER)";
        return kBadArguments;
      }
      options->output = argv[++i];
    } else if (word.compare(0, 9, "--output=") == 0 && word.size() > 9) {
      options->output = word.substr(9);
    } else if (word != "-" && word.compare(0, 1, "-") == 0) {
      *error = "unknown option '" + word + "' (see --help)";
      return kBadArguments;
    } else if (!options->input.empty()) {
      *error = "unexpected argument '" + word + "': one report at a time (see --help)";
      return kBadArguments;
    } else {
      options->input = word;
    }
  }
  if (options->output.empty()) {
    *error = "no folder to write: give one with -o FOLDER (see --help)";
    return kBadArguments;
  }
  return kPlot;
}

// A picture's file name: "scan-12-block-0.svg", and "-2" before the end for
// the second picture of the same block.
const char kPictureNameStart[] = "scan-";
const char kPictureNameEnd[] = ".svg";

// The page that shows them all.
const char kPageName[] = "index.html";

bool IsPictureName(const std::string& name) {
  const size_t start = sizeof kPictureNameStart - 1;
  const size_t end = sizeof kPictureNameEnd - 1;
  return name.size() >= start + end && name.compare(0, start, kPictureNameStart) == 0 &&
         name.compare(name.size() - end, end, kPictureNameEnd) == 0;
}

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int /*signal_number*/) { interrupted = 1; }

// Makes the folder ready for a plot. False, with `*why`, if it exists and
// may not be written into, or cannot be made.
bool PrepareFolder(const std::string& folder, bool force, std::string* why) {
  std::error_code error;
  if (fs::exists(folder, error)) {
    if (!fs::is_directory(folder, error)) {
      *why = folder + " exists and is no folder";
      return false;
    }
    if (!force) {
      *why = folder + " exists already; --force writes into it";
      return false;
    }
    // An earlier plot's pictures and page, and nothing else.
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
      const std::string name = entry->path().filename().string();
      if (IsPictureName(name) || name == kPageName) fs::remove(entry->path(), error);
    }
    if (error) *why = "cannot clear " + folder + ": " + error.message();
    return !error;
  }
  fs::create_directories(folder, error);
  if (error) *why = "cannot make " + folder + ": " + error.message();
  return !error;
}


struct Plot {
  PlotOptions options;
  std::string source;  // the report's name, for the page and the messages
  std::vector<PagePicture> pictures;
  std::map<std::string, int> names;  // picture names given, and how often
  bool folder_ready = false;
};

// The picture's file name, by scan and block number; a block seen again
// gets a number after it.
std::string PictureName(Plot* plot, const ReportBlock& block) {
  const std::string name =
      kPictureNameStart + std::to_string(block.scan_no) + "-block-" + std::to_string(block.block_no);
  const int seen = ++plot->names[name];
  return (seen == 1 ? name : name + "-" + std::to_string(seen)) + kPictureNameEnd;
}

// Writes `text` to `path`.
bool WriteFile(const fs::path& path, const std::string& text, std::string* why) {
  FILE* file = fopen(path.string().c_str(), "wb");
  bool written = file != nullptr && fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr && fclose(file) != 0) written = false;
  if (!written) *why = "cannot write " + path.string() + ": " + strerror(errno);
  return written;
}

// A picture is written whole before the page shows it, so it needs no
// file beside it as the page does.
bool DrawBlocks(Plot* plot, std::vector<ReportBlock>* blocks, std::string* why) {
  for (const ReportBlock& block : *blocks) {
    if (block.values.empty()) continue;
    const std::string name = PictureName(plot, block);
    if (!WriteFile(fs::path(plot->options.output) / name, BlockPicture(block), why)) return false;
    plot->pictures.push_back(PagePicture{name, BlockHeading(block), block.cut_short});
  }
  blocks->clear();
  return true;
}

// The page, written beside itself and then put in its place, so that a
// browser reloading it never reads half of it.
bool WritePage(Plot* plot, const ReportReader& reader, bool following, const std::string& damage,
               std::string* why) {
  const PageState state = {plot->source, reader.telegrams, following, reader.finished, damage};
  const fs::path page = fs::path(plot->options.output) / kPageName;
  const fs::path partial = page.string() + ".partial";
  if (!WriteFile(partial, PlotPage(plot->pictures, state), why)) return false;
  std::error_code error;
  fs::rename(partial, page, error);
  if (error) *why = "cannot write " + page.string() + ": " + error.message();
  return !error;
}

int Fail(const std::string& message, int status) {
  fprintf(stderr, "telegram-plot: %s\n", message.c_str());
  return status;
}

// Fails with the input still being read: ends the process at once, since
// the reading thread may wait for ever on a pipe, and must not outlive
// what it reads into.
[[noreturn]] void Abandon(ReportInput* input, const std::string& message, int status) {
  AbandonReportInput(input);
  Fail(message, status);
  fflush(stdout);
  fflush(stderr);
  std::_Exit(status);
}

}  // namespace

int main(int argc, char** argv) {
  Plot plot;
  std::string why;
  switch (ParsePlotOptions(argc, argv, &plot.options, &why)) {
    case kShowHelp: fputs(kUsage, stdout); return 0;
    case kShowVersion: puts("telegram-plot " TELEGRAM_VERSION); return 0;
    case kBadArguments: return Fail(why, 2);
    case kPlot: break;
  }
  const bool from_stdin = plot.options.input.empty() || plot.options.input == "-";
  plot.source = from_stdin ? "standard input" : plot.options.input;
  ReportInput input;
  if (!OpenReportInput(&input, plot.options.input, plot.options.follow, &why)) {
    return Fail("cannot read " + plot.source + ": " + why, 2);
  }
  // An interrupt ends the following of a file, with the page made whole.
  std::signal(SIGINT, OnInterrupt);

  ReportReader reader;
  StartReportReader(&reader);
  std::vector<ReportBlock> blocks;
  // While following, the page is rewritten at most twice a second, and
  // soon after the input pauses.
  auto page_written = std::chrono::steady_clock::now() - std::chrono::seconds(1);
  bool page_behind = false;
  std::string piece;
  while (NextInput(&input, &piece, 100)) {
    if (interrupted != 0 || reader.finished) StopFollowing(&input);
    if (!piece.empty()) {
      const bool report = ReadReport(&reader, piece.data(), piece.size(), &blocks);
      // The folder is written once the input is known to be a report.
      if (!plot.folder_ready && reader.part != kBannerNext) {
        if (!PrepareFolder(plot.options.output, plot.options.force, &why)) Abandon(&input, why, 2);
        plot.folder_ready = true;
      }
      if (plot.folder_ready && !DrawBlocks(&plot, &blocks, &why)) Abandon(&input, why, 1);
      if (!report) {
        if (plot.folder_ready) WritePage(&plot, reader, false, reader.error, &why);
        Abandon(&input, plot.source + ": " + reader.error, 2);
      }
      page_behind = true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (plot.options.follow && plot.folder_ready && page_behind && now - page_written >= std::chrono::milliseconds(500)) {
      if (!WritePage(&plot, reader, true, "", &why)) Abandon(&input, why, 1);
      page_written = now;
      page_behind = false;
    }
  }
  const int read_error = CloseReportInput(&input);
  if (read_error != 0) return Fail("cannot read " + plot.source + ": " + strerror(read_error), 1);
  if (!EndReport(&reader, &blocks)) return Fail(plot.source + ": " + reader.error, 2);
  if (!plot.folder_ready) {
    if (!PrepareFolder(plot.options.output, plot.options.force, &why)) return Fail(why, 2);
    plot.folder_ready = true;
  }
  if (!DrawBlocks(&plot, &blocks, &why) || !WritePage(&plot, reader, false, "", &why)) return Fail(why, 1);
  fprintf(stderr, "telegram-plot: %zu %s of %ld %s in %s\n", plot.pictures.size(),
          plot.pictures.size() == 1 ? "picture" : "pictures", reader.telegrams,
          reader.telegrams == 1 ? "telegram" : "telegrams",
          (fs::path(plot.options.output) / kPageName).string().c_str());
  return 0;
}
