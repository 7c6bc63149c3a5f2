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
#include "plot/plot_options.h"
#include "plot/plot_page.h"
#include "plot/report_input.h"
#include "telegram/report_reader.h"


namespace {

namespace fs = std::filesystem;

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
  int status = 0;
  if (AnswerCommandLine(ParsePlotOptions(argc, argv, &options, &err), "telegram-plot", PlotUsage, err, &status)) {
    return status;
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
  std::vector<ReportBlock> blocks;
  PlotFolder folder;
  bool folder_ready = false;
  std::string piece;
  while (input.Next(&piece, 100)) {
    if (interrupted != 0) input.StopAtPause();
    if (reader.finished()) input.StopFollowing();
    if (piece.empty()) continue;
    const bool report = reader.Read(piece.data(), piece.size(), &blocks);
    // The folder is written once the input is known to be a report.
    if (!folder_ready && reader.started()) {
      if (!folder.Prepare(options.output, options.force, &err)) return Fail(err, 2);
      folder_ready = true;
      if (options.follow && !folder.WritePage(PageState{source, reader.telegrams(), true, false, ""}, &err)) {
        return Fail(err, 1);
      }
    }
    for (const ReportBlock& block : blocks) {
      if (!block.values.empty() && !folder.AddPicture(block, &err)) return Fail(err, 1);
    }
    blocks.clear();
    if (!report) {
      if (folder_ready) folder.WritePage(PageState{source, reader.telegrams(), false, false, reader.error()}, &err);
      return Fail(source + ": " + reader.error(), 2);
    }
  }
  if (input.error() != 0) return Fail("cannot read " + source + ": " + strerror(input.error()), 1);
  if (!reader.End(&blocks)) return Fail(source + ": " + reader.error(), 2);
  if (!folder_ready && !folder.Prepare(options.output, options.force, &err)) return Fail(err, 2);
  for (const ReportBlock& block : blocks) {
    if (!block.values.empty() && !folder.AddPicture(block, &err)) return Fail(err, 1);
  }
  if (!folder.WritePage(PageState{source, reader.telegrams(), false, reader.finished(), ""}, &err)) return Fail(err, 1);
  fprintf(stderr, "telegram-plot: %zu %s of %ld %s in %s\n", folder.pictures(),
          folder.pictures() == 1 ? "picture" : "pictures", reader.telegrams(),
          reader.telegrams() == 1 ? "telegram" : "telegrams", (fs::path(options.output) / kPageName).string().c_str());
  return 0;
}
