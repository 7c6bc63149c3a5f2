#include "record/record_options.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "record/broker_link.h"

namespace {

std::vector<CommandLineOption> OptionTable(RecordOptions* options) {
  return {
      NumberOption("--port", "N", 0, 65535, "the UDP port to receive on; 0 takes any free one (said at the start)",
                   &options->port),
      TextOption("--address", "ADDR",
                 "the local IPv4 address (or host name) to receive on (default: every IPv4 address); a multicast "
                 "group (224.0.0.0 to 239.255.255.255) is joined, its port shared with other programs that "
                 "receive it",
                 &options->address),
      TextOption("--interface", "IF",
                 "with a multicast --address: the interface to join it on, by its IPv4 address (or, on Linux, "
                 "its name) (default: the system's choice)",
                 &options->interface_name),
      ListOption("--source", "ADDR[:PORT]",
                 "keep only the telegrams from this sender (any port if none is given); give it again for more "
                 "(default: every sender)",
                 &options->source_texts),
      NumberOption("--count", "N", 0, 1000000000, "telegrams to take, then end", &options->count,
                   "until Ctrl-C"),
      TextOption("--duration", "TIME",
                 "receive for this long, then end (90, 30s, 10m, 2h, 1d; with --count, whichever comes first) "
                 "(default: until Ctrl-C)",
                 &options->duration_text),
      TextOption("--format", "FORMAT",
                 "what standard output gets of each telegram: report (the receiver's report, byte for byte), csv "
                 "(a row a telegram) or jsonl (a JSON object a line)",
                 &options->format_name),
      TextOption("--backlog", "SIZE",
                 "the most memory telegrams may take while standard output's reader falls behind (k, M, G); "
                 "beyond it telegrams are skipped in the output alone, counted and said",
                 &options->backlog_text),
      TextOption("--record", "FILE",
                 "also record every telegram into FILE, a pcapng capture that the packet analyser opens and "
                 "telegram-sender --replay sends again (FILE is replaced)",
                 &options->record),
      TextOption("--rotate-size", "SIZE",
                 "with --record: a new file once one holds SIZE bytes (k, M, G), each named FILE's name with "
                 "its start (UTC) and number",
                 &options->rotate_size_text),
      TextOption("--rotate-time", "TIME", "with --record: a new file once one is TIME old (30s, 10m, 1h, 1d)",
                 &options->rotate_time_text),
      NumberOption("--ring", "N", 0, 1000000, "with --rotate-size or --rotate-time: keep the newest N files",
                   &options->ring, "keep every file"),
      TextOption("--stats", "FILE",
                 "write live statistics into FILE (a file or a pipe), a JSON object a line, every "
                 "--stats-interval",
                 &options->stats),
      TextOption("--stats-interval", "TIME", "how often --stats writes (1, 0.5, 10s, 1m)",
                 &options->stats_interval_text),
      TextOption("--publish", "URL",
                 "also publish every telegram, unchanged, to an MQTT broker: mqtt://[USER[:PASSWORD]@]HOST[:PORT]/"
                 "TOPIC (mqtts:// for TLS), under TOPIC/ADDRESS/PORT of its source, with its time and source; "
                 "what cannot be published (the broker away, or behind by --backlog) is counted and said",
                 &options->publish_text),
      TextOption("--subscribe", "URL",
                 "take the telegrams that telegram-record --publish sent to the broker (TOPIC and every source "
                 "under it; a topic with + or # as given) instead of a UDP port, with their original times and "
                 "sources",
                 &options->subscribe_text),
      TextOption("--ca-file", "FILE", "with an mqtts:// URL: the CA's certificates (PEM) (default: the system's)",
                 &options->ca_file),
  };
}

// The value's number and its unit after it; false for no number at all.
bool SplitNumber(const std::string& text, double* number, std::string* unit) {
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.')) return false;
  char* end = nullptr;
  *number = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !std::isfinite(*number)) return false;
  *unit = std::string(end);
  return true;
}

// What --help says of the broker's options where this build cannot use them.
std::string BrokerHelp() {
  std::string why_not;
  return BrokerClientBuiltIn(&why_not) ? std::string() : "\nNote: " + why_not + ": --publish and --subscribe end with status 2.\n";
}

}  // namespace

bool ParseSize(const std::string& text, const char* option, uint64_t* bytes, std::string* err) {
  double number = 0;
  std::string unit;
  const struct {
    const char* names[3];
    double bytes;
  } units[] = {{{"", "B", nullptr}, 1},
               {{"k", "K", "KiB"}, 1024.0},
               {{"M", "MiB", nullptr}, 1024.0 * 1024},
               {{"G", "GiB", nullptr}, 1024.0 * 1024 * 1024},
               {{"T", "TiB", nullptr}, 1024.0 * 1024 * 1024 * 1024}};
  if (SplitNumber(text, &number, &unit)) {
    for (const auto& u : units) {
      for (const char* name : u.names) {
        if (name == nullptr || unit != name) continue;
        const double total = std::floor(number * u.bytes);
        if (total >= 1 && total < 1e18) {
          *bytes = static_cast<uint64_t>(total);
          return true;
        }
      }
    }
  }
  *err = "bad value '" + text + "' for " + option + ": a size such as 4096, 512k, 64M or 2G";
  return false;
}

bool ParseSeconds(const std::string& text, const char* option, double* seconds, std::string* err) {
  double number = 0;
  std::string unit;
  const struct {
    const char* name;
    double seconds;
  } units[] = {{"", 1}, {"s", 1}, {"ms", 0.001}, {"m", 60}, {"min", 60}, {"h", 3600}, {"d", 86400}};
  if (SplitNumber(text, &number, &unit)) {
    for (const auto& u : units) {
      if (unit != u.name) continue;
      const double total = number * u.seconds;
      if (total >= 0.001 && total <= 100.0 * 86400) {
        *seconds = total;
        return true;
      }
    }
  }
  *err = "bad value '" + text + "' for " + option + ": a time such as 90, 1.5, 500ms, 30s, 10m, 2h or 1d " +
         "(at most 100 days)";
  return false;
}

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
  if (!options->duration_text.empty() && !ParseSeconds(options->duration_text, "--duration", &options->duration, err)) {
    return kBadCommandLine;
  }
  if (!ParseSize(options->backlog_text, "--backlog", &options->backlog, err)) return kBadCommandLine;
  double rotate_time = 0;
  if ((!options->rotate_size_text.empty() &&
       !ParseSize(options->rotate_size_text, "--rotate-size", &options->rotate_size, err)) ||
      (!options->rotate_time_text.empty() &&
       !ParseSeconds(options->rotate_time_text, "--rotate-time", &rotate_time, err)) ||
      !ParseSeconds(options->stats_interval_text, "--stats-interval", &options->stats_interval, err)) {
    return kBadCommandLine;
  }
  options->rotate_time = static_cast<int64_t>(std::ceil(rotate_time));
  if ((!options->publish_text.empty() && !ParseBrokerUrl(options->publish_text, "--publish", &options->publish, err)) ||
      (!options->subscribe_text.empty() &&
       !ParseBrokerUrl(options->subscribe_text, "--subscribe", &options->subscribe, err))) {
    return kBadCommandLine;
  }
  if (!options->publish_text.empty() && options->publish.topic.find_first_of("#+") != std::string::npos) {
    *err = "--publish takes a topic without wildcards (+ or #)";
    return kBadCommandLine;
  }
  for (const std::string& text : options->source_texts) {
    SourceAddress source;
    if (!ParseSource(text, "--source", &source, err)) return kBadCommandLine;
    options->sources.Add(source);
  }
  // Options that only mean something beside another.
  const bool rotating = options->rotate_size > 0 || options->rotate_time > 0;
  std::string lonely;
  for (const std::string& given : read.given) {
    if ((given == "--rotate-size" || given == "--rotate-time") && options->record.empty()) lonely = given + " is for --record";
    if (given == "--ring" && !rotating) lonely = "--ring is for --rotate-size or --rotate-time";
    if (given == "--stats-interval" && options->stats.empty()) lonely = "--stats-interval is for --stats";
    if (given == "--interface" && options->address.empty()) lonely = "--interface is for a multicast --address";
    if (given == "--ca-file" && options->publish_text.empty() && options->subscribe_text.empty()) {
      lonely = "--ca-file is for --publish or --subscribe";
    }
    if ((given == "--port" || given == "--address" || given == "--interface") && !options->subscribe_text.empty()) {
      lonely = given + " is for a UDP port, which --subscribe takes the place of";
    }
  }
  if (!lonely.empty()) {
    *err = lonely;
    return kBadCommandLine;
  }
  return kRunProgram;
}

std::string RecordUsage() {
  RecordOptions defaults;
  return "usage: telegram-record [options]\n"
         "Receives the scanner's telegrams on a UDP port and writes each to standard\n"
         "output (as the receiver's report, CSV or JSON Lines), optionally recording\n"
         "them into pcapng files, until Ctrl-C, a count or a time; then says on\n"
         "standard error how many came, at what rate, and how many were lost.\n"
         "Options take their value as --name VALUE or --name=VALUE.\n\n" +
         OptionsHelp(OptionTable(&defaults)) + BrokerHelp();
}
