#include "sender/sender_options.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "telegram/telegram_layout.h"

namespace {

// The options, each described once: its name, its value, its words, and
// where its value goes in `options`.
std::vector<CommandLineOption> OptionTable(SenderOptions* options) {
  ScanPlan* plan = &options->plan;
  return {
      TextOption("--host", "ADDR", "destination address or host name", &options->host),
      NumberOption("--port", "N", 1, 65535, "destination UDP port", &options->port),
      NumberOption("--scans", "N", 0, 100000000, "number of scans", &plan->scans),
      NumberOption("--blocks", "N", 0, 65536, "type-6 blocks per scan", &plan->blocks),
      NumberOption("--size", "BYTES", static_cast<long>(kHeaderSize), static_cast<long>(kMaxDatagramSize),
                   "bytes of each type-6 telegram", &plan->size),
      NumberOption("--rate", "N", 1, 100000000, "telegrams a second", &options->rate, "no pause"),
      FlagOption("--no-beam", "leave out the type-1 telegram of each scan", &plan->beam_range, false),
      FlagOption("--same-values", "every scan's blocks carry the values of scan 1", &plan->same_values),
      FlagOption("--smooth",
                 "block values follow a smooth profile from 1000 to 3000, as a scanner's distances do, instead of "
                 "spreading over the whole 16-bit range",
                 &plan->smooth),
      TextOption("--replay", "FILE",
                 "send the telegrams of a capture (pcap or pcapng) instead of made-up scans, at the recorded pace "
                 "unless --rate is given",
                 &options->replay),
      NumberOption("--replay-port", "N", 1, 65535, "with --replay: the UDP port of the captured telegrams",
                   &options->replay_port),
      NumberOption("--max-gap", "SECONDS", 1, 86400,
                   "with --replay: a longer pause between two telegrams is shortened to this, and said",
                   &options->max_gap),
      ListOption("--source", "ADDR[:PORT]",
                 "with --replay: send only the telegrams this sender sent (any port if none is given); give it "
                 "again for more (default: every sender)",
                 &options->source_texts),
      TextOption("--speed", "X",
                 "with --replay: X times the recorded pace (0.5 is half as fast, 10 ten times as fast) "
                 "(default 1)",
                 &options->speed_text),
      NumberOption("--loop", "N", 0, 1000000, "with --replay: send the capture N times over", &options->loops,
                   "until Ctrl-C"),
      TextOption("--receiver", "PROGRAM",
                 "the demo: start PROGRAM (telegram-receiver), pass its report on, send once it is ready, and end "
                 "with its exit status",
                 &options->receiver),
      FlagOption("--keep-window",
                 "with --receiver on Windows: at the end, wait for a key if the console window would close "
                 "(demo.cmd started by a double click)",
                 &options->keep_window),
  };
}

// The first of `names` among the options given, or "".
std::string FirstGiven(const std::vector<std::string>& given, std::initializer_list<const char*> names) {
  for (const std::string& name : given) {
    if (std::find(names.begin(), names.end(), name) != names.end()) return name;
  }
  return "";
}

}  // namespace

CommandLineResult ParseSenderOptions(int argc, const char* const* argv, SenderOptions* options, std::string* err) {
  CommandLineRead read;
  const CommandLineResult result = ReadCommandLine(argc, argv, OptionTable(options), 0, "", &read, err);
  if (result != kRunProgram) return result;
  // The options that shape made-up scans, which a replay does without, and
  // those that only a replay takes.
  const std::string scan_option =
      FirstGiven(read.given, {"--scans", "--blocks", "--size", "--no-beam", "--same-values", "--smooth"});
  if (!options->replay.empty() && !scan_option.empty()) {
    *err = scan_option + " shapes made-up scans, which --replay replaces with the capture's telegrams";
    return kBadCommandLine;
  }
  const std::string replay_option =
      FirstGiven(read.given, {"--replay-port", "--max-gap", "--source", "--speed", "--loop"});
  if (!replay_option.empty() && options->replay.empty()) {
    *err = replay_option + " goes with --replay";
    return kBadCommandLine;
  }
  for (const std::string& text : options->source_texts) {
    SourceAddress source;
    if (!ParseSource(text, "--source", &source, err)) return kBadCommandLine;
    options->sources.Add(source);
  }
  if (!options->speed_text.empty()) {
    char* end = nullptr;
    options->speed = std::strtod(options->speed_text.c_str(), &end);
    if (end == options->speed_text.c_str() || *end != '\0' || !(options->speed >= 0.001 && options->speed <= 1e6)) {
      *err = "bad value '" + options->speed_text + "' for --speed: a number from 0.001 to 1000000";
      return kBadCommandLine;
    }
    if (options->rate > 0) {
      *err = "--speed and --rate both set the pace: give one";
      return kBadCommandLine;
    }
  }
  if (options->loops != 1 && !options->receiver.empty()) {
    *err = "--loop goes without --receiver (the receiver ends after 1000 telegrams)";
    return kBadCommandLine;
  }
  return kRunProgram;
}

std::string SenderUsage() {
  SenderOptions defaults;
  return "usage: telegram-sender [options]\n"
         "Plays the scanner: sends scans of telegrams over UDP, each a type-1\n"
         "telegram with the beam range, then type-6 blocks 0 to N-1 of 16-bit\n"
         "values. The defaults send " +
         std::to_string(kDatagramLimit) +
         " telegrams, a whole run of telegram-receiver.\n"
         "Options take their value as --name VALUE or --name=VALUE.\n"
         "\n" +
         OptionsHelp(OptionTable(&defaults));
}
