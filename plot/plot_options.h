// telegram-plot's command line: its options, each described once in its
// table (plot_options.cc), read by the shared command-line reader.
#ifndef PLOT_PLOT_OPTIONS_H_
#define PLOT_PLOT_OPTIONS_H_

#include <string>
#include <vector>

#include "cli/command_line.h"
#include "net/source_address.h"
#include "plot/block_store.h"

struct PlotOptions {
  std::string output;  // the folder to write, or empty
  std::string input;   // the report; empty or "-" for standard input
  bool follow = false;
  bool force = false;
  std::string serve;   // [ADDRESS:]PORT to serve the page at, or empty
  bool pictures = false;  // the folder holds each block's picture
  bool csv = false;       // and its CSV
  long keep = kDefaultKeptBlocks;  // blocks the server keeps
  long memory_mib = 256;  // the memory the report's data may take
  std::string allow_hosts;  // host names accepted beyond this computer's, comma-separated
  // The telegrams themselves, in place of a report: received on a UDP port,
  // or read from a capture.
  long port = 9999;
  std::string address;         // to receive on, or a multicast group
  std::string interface_name;  // the group's interface
  std::string capture;         // a capture file
  std::vector<std::string> source_texts;
  // From `serve`:
  std::string serve_address = "127.0.0.1";
  long serve_port = 0;
  // From `allow_hosts`, lowercase.
  std::vector<std::string> allowed_hosts;
  // From --port, --address or --capture given: the blocks come from
  // telegrams, not a report.
  bool telegrams = false;
  // From `source_texts`.
  SourceFilter sources;
};

// How --memory is shared: what was read of the input and not yet taken,
// and the blocks waiting to be written into the folder, an eighth each at
// most; the blocks kept for the page, the rest.
struct MemoryShares {
  size_t input;
  size_t unwritten;
  size_t kept;
};
MemoryShares ShareMemory(long mib);

// Reads the arguments into `options`. On kBadCommandLine, `*err` says why in
// one line.
CommandLineResult ParsePlotOptions(int argc, const char* const* argv, PlotOptions* options, std::string* err);

// The text of --help.
std::string PlotUsage();

#endif  // PLOT_PLOT_OPTIONS_H_
