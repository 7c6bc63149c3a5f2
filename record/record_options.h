// telegram-record's command line: its options, each described once in its
// table (record_options.cc), read by the shared command-line reader; and
// the sizes and times its options take, with their units.
#ifndef RECORD_RECORD_OPTIONS_H_
#define RECORD_RECORD_OPTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "net/source_address.h"
#include "record/broker_url.h"

enum OutputFormat { kFormatReport, kFormatCsv, kFormatJsonLines };

struct RecordOptions {
  long port = 9999;
  std::string address;      // empty: every local IPv4 address; a multicast group is joined
  std::string interface_name;  // the interface a group is joined on; empty: the system's choice
  std::vector<std::string> source_texts;
  SourceFilter sources;     // the sources kept; empty: every one
  long count = 0;           // telegrams to take; 0: until Ctrl-C
  std::string duration_text;
  double duration = 0;      // seconds to receive; 0: no limit
  std::string format_name = "report";
  OutputFormat format = kFormatReport;
  std::string backlog_text = "64M";
  uint64_t backlog = 0;     // bytes of telegrams that may wait for standard output
  std::string record;       // the pcapng file to record into, or empty
  std::string rotate_size_text;
  uint64_t rotate_size = 0;    // bytes; 0: no rotation by size
  std::string rotate_time_text;
  int64_t rotate_time = 0;     // seconds; 0: no rotation by time
  long ring = 0;               // the newest files kept; 0: all
  std::string stats;           // the live statistics' file or pipe, or empty
  std::string stats_interval_text = "1";
  double stats_interval = 1;   // seconds
  std::string publish_text;    // mqtt://... to publish every telegram to, or empty
  BrokerUrl publish;
  std::string subscribe_text;  // mqtt://... to take telegrams from instead of a UDP port, or empty
  BrokerUrl subscribe;
  std::string ca_file;         // for mqtts://: the CA's certificates
};

// Reads the arguments into `options`. On kBadCommandLine, `*err` says why in
// one line.
CommandLineResult ParseRecordOptions(int argc, const char* const* argv, RecordOptions* options, std::string* err);

// The text of --help.
std::string RecordUsage();

// "64M", "1.5G", "4096": bytes, with k, M, G or T for powers of 1024.
// False, with words naming `option`, for anything else or 0.
bool ParseSize(const std::string& text, const char* option, uint64_t* bytes, std::string* err);
// "90", "1.5", "500ms", "30s", "10m", "2h", "1d": seconds. False, with
// words naming `option`, for anything else, 0, or more than 100 days.
bool ParseSeconds(const std::string& text, const char* option, double* seconds, std::string* err);

#endif  // RECORD_RECORD_OPTIONS_H_
