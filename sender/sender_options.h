// telegram-sender's command line: its options, each described once in its
// table (sender_options.cc); their defaults from SenderOptions below, and
// --help shows both.
#ifndef SENDER_SENDER_OPTIONS_H_
#define SENDER_SENDER_OPTIONS_H_

#include <string>
#include <vector>

#include "cli/command_line.h"
#include "net/source_address.h"
#include "sender/capture_source.h"
#include "sender/scan_source.h"
#include "telegram/report_format.h"

struct SenderOptions {
  std::string host = "127.0.0.1";
  long port = kReceiverPort;
  // 250 scans of a beam range and 3 blocks: 1000 telegrams, a whole run.
  ScanPlan plan = {250, 3, 60, true, false, false};
  long rate = 0;         // telegrams a second; 0 sends back to back (or at a replay's pace)
  std::string replay;    // a capture to send the telegrams of, instead of made-up scans
  long replay_port = kReceiverPort;  // the UDP port of the captured telegrams
  long max_gap = kDefaultMaxGapSeconds;  // the longest pause of a replay, in seconds
  std::vector<std::string> source_texts;
  SourceFilter sources;  // a replay's senders sent; empty: every one
  std::string speed_text;
  double speed = 1;      // a replay's pace, as a multiple of the recorded one
  long loops = 1;        // a replay's passes over the capture; 0: until stopped
  std::string receiver;  // the demo: start this receiver and feed it
  bool keep_window = false;  // the demo: wait for a key before a lone console window closes
};

// Reads the arguments into `options`, which holds the defaults. On
// kBadCommandLine, `*err` says why in one line.
CommandLineResult ParseSenderOptions(int argc, const char* const* argv, SenderOptions* options, std::string* err);

// The text of --help: every option with its range and default.
std::string SenderUsage();

#endif  // SENDER_SENDER_OPTIONS_H_
