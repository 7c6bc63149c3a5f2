#include "plot/plot_options.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

std::vector<CommandLineOption> OptionTable(PlotOptions* options) {
  return {
      TextOption("--output", "FOLDER", "the folder to write; it must not exist yet", &options->output, "-o"),
      FlagOption("--force",
                 "write into FOLDER even if it exists, replacing the files of an earlier plot and nothing else",
                 &options->force),
      FlagOption("--follow",
                 "REPORT is still being written: read on at its end until the run is over (the page shows the "
                 "blocks as they come)",
                 &options->follow),
      TextOption("--serve", "[ADDRESS:]PORT",
                 "serve the page live at http://ADDRESS:PORT/ until Ctrl-C: on 127.0.0.1 (this computer only) "
                 "unless an ADDRESS is given; PORT 0 takes any free one",
                 &options->serve),
      NumberOption("--keep", "BLOCKS", 10, 1000000,
                   "with --serve: the newest blocks kept for the page; older ones go", &options->keep),
  };
}

// "[ADDRESS:]PORT" into its address and port; false if it is not that.
bool ReadServe(const std::string& text, std::string* address, long* port) {
  const size_t colon = text.rfind(':');
  const std::string port_text = colon == std::string::npos ? text : text.substr(colon + 1);
  if (colon != std::string::npos) *address = text.substr(0, colon);
  // An IPv6 address in brackets, as in a URL.
  if (address->size() > 2 && address->front() == '[' && address->back() == ']') {
    *address = address->substr(1, address->size() - 2);
  }
  if (address->empty() || port_text.empty() || port_text.size() > 5 ||
      !std::all_of(port_text.begin(), port_text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  *port = strtol(port_text.c_str(), nullptr, 10);
  return *port <= 65535;
}

}  // namespace

CommandLineResult ParsePlotOptions(int argc, const char* const* argv, PlotOptions* options, std::string* err) {
  CommandLineRead read;
  const CommandLineResult result =
      ReadCommandLine(argc, argv, OptionTable(options), 1, ": one report at a time", &read, err);
  if (result != kRunProgram) return result;
  if (!read.operands.empty()) options->input = read.operands[0];
  if (!options->serve.empty() && !ReadServe(options->serve, &options->serve_address, &options->serve_port)) {
    *err = "bad value '" + options->serve + "' for --serve: [ADDRESS:]PORT is needed, PORT from 0 to 65535";
    return kBadCommandLine;
  }
  if (options->output.empty() && options->serve.empty()) {
    *err = "nothing to do: give a folder to write with -o FOLDER, or --serve PORT (see --help)";
    return kBadCommandLine;
  }
  if (std::find(read.given.begin(), read.given.end(), "--keep") != read.given.end() && options->serve.empty()) {
    *err = "--keep goes with --serve";
    return kBadCommandLine;
  }
  return kRunProgram;
}

std::string PlotUsage() {
  PlotOptions defaults;
  return "usage: telegram-plot [--follow] [--force] -o FOLDER [REPORT]\n"
         "       telegram-plot --serve [ADDRESS:]PORT [-o FOLDER] [REPORT]\n"
         "Shows every block of values in a report of telegram-receiver on a page to\n"
         "explore: zoom, move along, read each value, go from block to block. With -o\n"
         "it writes a folder: for each block its picture (SVG) and its values (CSV),\n"
         "and index.html, which opens from the disk. With --serve it serves the page\n"
         "live: the newest block drawn as it comes. The report is read from the file\n"
         "REPORT, or from standard input if there is none or it is -, with Linux line\n"
         "ends or those of Windows:\n"
         "  telegram-receiver | telegram-plot --serve 8080\n"
         "  telegram-receiver | telegram-plot -o run1\n"
         "\n" +
         OptionsHelp(OptionTable(&defaults));
}
