// telegram-record's command line: its options, each described once in its
// table (record_options.cc), read by the shared command-line reader.
#ifndef RECORD_RECORD_OPTIONS_H_
#define RECORD_RECORD_OPTIONS_H_

#include <string>

#include "cli/command_line.h"

enum OutputFormat { kFormatReport, kFormatCsv, kFormatJsonLines };

struct RecordOptions {
  long port = 9999;
  std::string address;      // empty: every local IPv4 address
  long count = 0;           // telegrams to take; 0: until Ctrl-C
  std::string format_name = "report";
  OutputFormat format = kFormatReport;
  std::string record;       // the pcapng file to record into, or empty
};

// Reads the arguments into `options`. On kBadCommandLine, `*err` says why in
// one line.
CommandLineResult ParseRecordOptions(int argc, const char* const* argv, RecordOptions* options, std::string* err);

// The text of --help.
std::string RecordUsage();

#endif  // RECORD_RECORD_OPTIONS_H_
