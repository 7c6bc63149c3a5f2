#include "plot/plot_options.h"

#include <vector>

namespace {

std::vector<CommandLineOption> OptionTable(PlotOptions* options) {
  return {
      TextOption("--output", "FOLDER", "the folder to write; it must not exist yet", &options->output, "-o"),
      FlagOption("--force",
                 "write into FOLDER even if it exists, replacing the pictures and the page of an earlier plot",
                 &options->force),
      FlagOption("--follow",
                 "the report is still being written: the page reloads itself in the browser to show the blocks as "
                 "they come, and REPORT is read on at its end until the run is over",
                 &options->follow),
  };
}

}  // namespace

CommandLineResult ParsePlotOptions(int argc, const char* const* argv, PlotOptions* options, std::string* err) {
  CommandLineRead read;
  const CommandLineResult result =
      ReadCommandLine(argc, argv, OptionTable(options), 1, ": one report at a time", &read, err);
  if (result != kRunProgram) return result;
  if (!read.operands.empty()) options->input = read.operands[0];
  if (options->output.empty()) {
    *err = "no folder to write: give one with -o FOLDER (see --help)";
    return kBadCommandLine;
  }
  return kRunProgram;
}

std::string PlotUsage() {
  PlotOptions defaults;
  return "usage: telegram-plot [--follow] [--force] -o FOLDER [REPORT]\n"
         "Draws every block of values in a report of telegram-receiver: one SVG for\n"
         "each type-6 block that has values, named by its scan and block number, and\n"
         "index.html, which shows them all in the report's order. The report is read\n"
         "from the file REPORT, or from standard input if there is none or it is -,\n"
         "with Linux line ends or those of Windows:\n"
         "  telegram-receiver | telegram-plot -o run1\n"
         "\n" +
         OptionsHelp(OptionTable(&defaults));
}
