#include "record/record_options.h"

#include <vector>

namespace {

std::vector<CommandLineOption> OptionTable(RecordOptions* options) {
  return {
      NumberOption("--port", "N", 0, 65535, "the UDP port to receive on; 0 takes any free one (said at the start)",
                   &options->port),
      TextOption("--address", "ADDR",
                 "the local IPv4 address (or host name) to receive on (default: every IPv4 address)",
                 &options->address),
      NumberOption("--count", "N", 0, 1000000000, "telegrams to take, then end", &options->count,
                   "until Ctrl-C"),
      TextOption("--format", "FORMAT",
                 "what standard output gets of each telegram: report (the receiver's report, byte for byte), csv "
                 "(a row a telegram) or jsonl (a JSON object a line)",
                 &options->format_name),
      TextOption("--record", "FILE",
                 "also record every telegram into FILE, a pcapng capture that the packet analyser opens and "
                 "telegram-sender --replay sends again (FILE is replaced)",
                 &options->record),
  };
}

}  // namespace

CommandLineResult ParseRecordOptions(int argc, const char* const* argv, RecordOptions* options, std::string* err) {
  CommandLineRead read;
  const CommandLineResult result = ReadCommandLine(argc, argv, OptionTable(options), 0, ": it takes options only",
                                                   &read, err);
  if (result != kRunProgram) return result;
  if (options->format_name == "report") {
    options->format = kFormatReport;
  } else if (options->format_name == "csv") {
    options->format = kFormatCsv;
  } else if (options->format_name == "jsonl") {
    options->format = kFormatJsonLines;
  } else {
    *err = "bad value '" + options->format_name + "' for --format: report, csv or jsonl";
    return kBadCommandLine;
  }
  return kRunProgram;
}

std::string RecordUsage() {
  RecordOptions defaults;
  return "usage: telegram-record [options]\n"
         "Receives the scanner's telegrams on a UDP port and writes each to standard\n"
         "output (as the receiver's report, CSV or JSON Lines), optionally recording\n"
         "them into a pcapng file, until Ctrl-C or a count; then says on standard\n"
         "error how many came, at what rate, and how many were lost.\n"
         "Options take their value as --name VALUE or --name=VALUE.\n\n" +
         OptionsHelp(OptionTable(&defaults));
}
