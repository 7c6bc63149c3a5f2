#include "plot/plot_options.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "plot/host_check.h"

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
      FlagOption("--pictures", "with -o: also write each block's picture, NAME.svg (slower: its values are made "
                 "numbers)", &options->pictures),
      FlagOption("--csv", "with -o: also write each block's values as NAME.csv, the file its page offers",
                 &options->csv),
      NumberOption("--keep", "BLOCKS", 10, 1000000,
                   "with --serve: the newest blocks kept for the page; older ones go", &options->keep),
      NumberOption("--memory", "MIB", 16, 1048576,
                   "the most memory, in MiB, the report's data may take: the blocks kept for the page (three "
                   "quarters), the input read and not yet taken, and the blocks waiting for the folder's disk (an "
                   "eighth each); beyond it older blocks leave the page, blocks are passed over in the folder "
                   "(counted on its page), and the reading waits",
                   &options->memory_mib),
      NumberOption("--port", "N", 0, 65535,
                   "take the telegrams themselves, not a report: receive them on UDP port N (the scanner sends to "
                   "9999) until Ctrl-C; with --capture, those sent to port N in it",
                   &options->port),
      TextOption("--address", "ADDR",
                 "receive the telegrams on this local IPv4 address, or join this multicast group (224.0.0.0 to "
                 "239.255.255.255; its port is shared with other programs that receive it) (default: every IPv4 "
                 "address)",
                 &options->address),
      TextOption("--interface", "IF",
                 "with a multicast --address: the interface to join it on, by its IPv4 address (or, on Linux, "
                 "its name) (default: the system's choice)",
                 &options->interface_name),
      TextOption("--capture", "FILE",
                 "take the telegrams themselves from a capture (pcapng or pcap, such as telegram-record --record "
                 "writes), not a report",
                 &options->capture),
      ListOption("--source", "ADDR[:PORT]",
                 "with telegrams taken themselves: keep only this sender's (any port if none is given); give it "
                 "again for more (default: every sender, each shown apart)",
                 &options->source_texts),
      TextOption("--allow-host", "NAMES",
                 "with --serve: host names (comma-separated) under which the page may also be asked for, "
                 "beyond this computer's addresses, localhost and the ADDRESS served at",
                 &options->allow_hosts),
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

// "name,name" into lowercase names, each a host name as a Host header gives
// it; false if one is not.
bool ReadHostNames(const std::string& text, std::vector<std::string>* names) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(',', at);
    if (end == std::string::npos) end = text.size();
    const std::string name = HostName(text.substr(at, end - at));
    if (name.empty() || name.find(':') != std::string::npos) return false;
    names->push_back(name);
    at = end + 1;
  }
  return text.empty() || text.back() != ',';
}

}  // namespace

CommandLineResult ParsePlotOptions(int argc, const char* const* argv, PlotOptions* options, std::string* err) {
  CommandLineRead read;
  const CommandLineResult result =
      ReadCommandLine(argc, argv, OptionTable(options), 1, ": one report at a time", &read, err);
  if (result != kRunProgram) return result;
  const auto given = [&read](const char* name) {
    return std::find(read.given.begin(), read.given.end(), name) != read.given.end();
  };
  if (!read.operands.empty()) options->input = read.operands[0];
  if (!options->serve.empty() && !ReadServe(options->serve, &options->serve_address, &options->serve_port)) {
    *err = "bad value '" + options->serve + "' for --serve: [ADDRESS:]PORT is needed, PORT from 0 to 65535";
    return kBadCommandLine;
  }
  if (options->output.empty() && options->serve.empty()) {
    *err = "nothing to do: give a folder to write with -o FOLDER, or --serve PORT (see --help)";
    return kBadCommandLine;
  }
  for (const char* writing : {"--pictures", "--csv"}) {
    if (given(writing) && options->output.empty()) {
      *err = std::string(writing) + " goes with -o FOLDER";
      return kBadCommandLine;
    }
  }
  for (const char* serving : {"--keep", "--allow-host"}) {
    if (given(serving) && options->serve.empty()) {
      *err = std::string(serving) + " goes with --serve";
      return kBadCommandLine;
    }
  }
  options->telegrams = given("--port") || given("--address") || !options->capture.empty();
  std::string lonely;
  if (options->telegrams && !read.operands.empty()) {
    lonely = "a REPORT goes without --port, --address and --capture: the blocks come from one of them";
  } else if (options->telegrams && options->follow) {
    lonely = "--follow is for a REPORT";
  } else if (given("--interface") && options->address.empty()) {
    lonely = "--interface is for a multicast --address";
  } else if (!options->capture.empty() && !options->address.empty()) {
    lonely = "--address is for receiving, which --capture takes the place of";
  } else if (!options->source_texts.empty() && !options->telegrams) {
    lonely = "--source is for --port, --address or --capture: a report does not say where its telegrams came from";
  }
  if (!lonely.empty()) {
    *err = lonely;
    return kBadCommandLine;
  }
  for (const std::string& text : options->source_texts) {
    SourceAddress source;
    if (!ParseSource(text, "--source", &source, err)) return kBadCommandLine;
    options->sources.Add(source);
  }
  if (!ReadHostNames(options->allow_hosts, &options->allowed_hosts)) {
    *err = "bad value '" + options->allow_hosts + "' for --allow-host: host names, comma-separated, are needed";
    return kBadCommandLine;
  }
  return kRunProgram;
}

MemoryShares ShareMemory(long mib) {
  const size_t bytes = static_cast<size_t>(mib) << 20;
  return MemoryShares{bytes / 8, bytes / 8, bytes - 2 * (bytes / 8)};
}

std::string PlotUsage() {
  PlotOptions defaults;
  return "usage: telegram-plot [--follow] [--force] -o FOLDER [REPORT]\n"
         "       telegram-plot --serve [ADDRESS:]PORT [-o FOLDER] [REPORT]\n"
         "       telegram-plot --serve [ADDRESS:]PORT [-o FOLDER] --port 9999 [--address GROUP]\n"
         "       telegram-plot -o FOLDER --capture FILE\n"
         "Shows every block of values in a report of telegram-receiver on a page to\n"
         "explore: zoom, move along, read each value, go from block to block, take its\n"
         "values as CSV. With -o it writes a folder: each block's values, and\n"
         "index.html, which opens from the disk. With --serve it serves the page\n"
         "live: the newest block drawn as it comes. The report is read from the file\n"
         "REPORT, or from standard input if there is none or it is -, with Linux line\n"
         "ends or those of Windows:\n"
         "  telegram-receiver | telegram-plot --serve 8080\n"
         "  telegram-receiver | telegram-plot -o run1\n"
         "Or it takes the telegrams themselves, through the library: received on a UDP\n"
         "port (--port, a multicast group with --address) or read from a capture\n"
         "(--capture). Then every block with values is shown, and the page shows each\n"
         "sender apart (pick one, or see them side by side):\n"
         "  telegram-plot --serve 8080 --port 9999\n"
         "  telegram-plot -o run1 --capture run1.pcapng\n"
         "\n" +
         OptionsHelp(OptionTable(&defaults));
}
