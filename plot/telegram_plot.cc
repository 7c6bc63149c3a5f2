// telegram-plot: a picture of every block of values in a report of
// telegram-receiver, and a page that shows them all in the report's order.
// It reads the report from a file or from standard input, finished or
// still being written, and writes a folder: one SVG for each type-6 block
// that has values, and index.html.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "plot/plot_folder.h"
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
    "  --follow             the report is still being written: the page reloads\n"
    "                       itself in the browser to show the blocks as they come,\n"
    "                       and REPORT is read on at its end until the run is over\n"
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

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int /*signal_number*/) { interrupted = 1; }

int Fail(const std::string& message, int status) {
  fprintf(stderr, "telegram-plot: %s\n", message.c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  PlotOptions options;
  std::string err;
  switch (ParsePlotOptions(argc, argv, &options, &err)) {
    case kShowHelp: fputs(kUsage, stdout); return 0;
    case kShowVersion: puts("telegram-plot " TELEGRAM_VERSION); return 0;
    case kBadArguments: return Fail(err, 2);
    case kPlot: break;
  }
  const bool from_stdin = options.input.empty() || options.input == "-";
  const std::string source = from_stdin ? "standard input" : options.input;
  ReportInput input;
  if (!input.Open(options.input, options.follow, &err)) return Fail("cannot read " + source + ": " + err, 2);
  // An interrupt ends the reading at the input's next pause, with the page
  // made whole.
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);

  ReportReader reader;
  StartReportReader(&reader);
  std::vector<ReportBlock> blocks;
  PlotFolder folder;
  bool folder_ready = false;
  std::string piece;
  while (input.Next(&piece, 100)) {
    if (interrupted != 0) input.StopAtPause();
    if (reader.finished) input.StopFollowing();
    if (piece.empty()) continue;
    const bool report = ReadReport(&reader, piece.data(), piece.size(), &blocks);
    // The folder is written once the input is known to be a report.
    if (!folder_ready && ReportStarted(reader)) {
      if (!folder.Prepare(options.output, options.force, &err)) return Fail(err, 2);
      folder_ready = true;
      if (options.follow && !folder.WritePage(PageState{source, reader.telegrams, true, false, ""}, &err)) {
        return Fail(err, 1);
      }
    }
    for (const ReportBlock& block : blocks) {
      if (!block.values.empty() && !folder.AddPicture(block, &err)) return Fail(err, 1);
    }
    blocks.clear();
    if (!report) {
      if (folder_ready) folder.WritePage(PageState{source, reader.telegrams, false, false, reader.error}, &err);
      return Fail(source + ": " + reader.error, 2);
    }
  }
  if (input.error() != 0) return Fail("cannot read " + source + ": " + strerror(input.error()), 1);
  if (!EndReport(&reader, &blocks)) return Fail(source + ": " + reader.error, 2);
  if (!folder_ready && !folder.Prepare(options.output, options.force, &err)) return Fail(err, 2);
  for (const ReportBlock& block : blocks) {
    if (!block.values.empty() && !folder.AddPicture(block, &err)) return Fail(err, 1);
  }
  if (!folder.WritePage(PageState{source, reader.telegrams, false, reader.finished, ""}, &err)) return Fail(err, 1);
  fprintf(stderr, "telegram-plot: %zu %s of %ld %s in %s\n", folder.pictures(),
          folder.pictures() == 1 ? "picture" : "pictures", reader.telegrams,
          reader.telegrams == 1 ? "telegram" : "telegrams", (fs::path(options.output) / kPageName).string().c_str());
  return 0;
}
