#include "sender/sender_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "telegram/telegram_layout.h"

namespace {

enum OptionId {
  kHost, kPort, kScans, kBlocks, kSize, kRate, kNoBeam, kSameValues, kSmooth, kReplay, kReplayPort, kMaxGap, kReceiver,
  kKeepWindow, kHelp, kVersion
};

struct Option {
  OptionId id;
  const char* name;
  const char* value_name;  // null for an option that takes no value
  long low, high;          // the range of a number; high 0 for a text
  const char* help;
  const char* unset;       // what a default of 0 means, for --help; null: no default shown
};

const Option kOptions[] = {
    {kHost, "--host", "ADDR", 0, 0, "destination address or host name", nullptr},
    {kPort, "--port", "N", 1, 65535, "destination UDP port", nullptr},
    {kScans, "--scans", "N", 0, 100000000, "number of scans", nullptr},
    {kBlocks, "--blocks", "N", 0, 65536, "type-6 blocks per scan", nullptr},
    {kSize, "--size", "BYTES", static_cast<long>(kHeaderSize), static_cast<long>(kMaxDatagramSize),
     "bytes of each type-6 telegram", nullptr},
    {kRate, "--rate", "N", 1, 100000000, "telegrams a second", "no pause"},
    {kNoBeam, "--no-beam", nullptr, 0, 0, "leave out the type-1 telegram of each scan", nullptr},
    {kSameValues, "--same-values", nullptr, 0, 0, "every scan's blocks carry the values of scan 1", nullptr},
    {kSmooth, "--smooth", nullptr, 0, 0,
     "block values follow a smooth profile from 1000 to 3000, as a scanner's distances do, instead of spreading "
     "over the whole 16-bit range",
     nullptr},
    {kReplay, "--replay", "FILE", 0, 0,
     "send the telegrams of a capture (pcap or pcapng) instead of made-up scans, at the recorded pace unless "
     "--rate is given",
     nullptr},
    {kReplayPort, "--replay-port", "N", 1, 65535, "with --replay: the UDP port of the captured telegrams", nullptr},
    {kMaxGap, "--max-gap", "SECONDS", 1, 86400,
     "with --replay: a longer pause between two telegrams is shortened to this, and said", nullptr},
    {kReceiver, "--receiver", "PROGRAM", 0, 0,
     "the demo: start PROGRAM (telegram-receiver), pass its report on, send once it is ready, and end with its "
     "exit status",
     nullptr},
    {kKeepWindow, "--keep-window", nullptr, 0, 0,
     "with --receiver on Windows: at the end, wait for a key if the console window would close (demo.cmd started "
     "by a double click)",
     nullptr},
    {kHelp, "--help", nullptr, 0, 0, "show this text (also -h, -?, /?)", nullptr},
    {kVersion, "--version", nullptr, 0, 0, "show the version", nullptr},
};

// The default of an option that takes a value, as --help shows it; "" for
// none.
std::string DefaultText(const Option& option) {
  const SenderOptions defaults;
  long number = 0;
  switch (option.id) {
    case kHost: return " " + defaults.host;
    case kPort: number = defaults.port; break;
    case kScans: number = defaults.plan.scans; break;
    case kBlocks: number = defaults.plan.blocks; break;
    case kSize: number = defaults.plan.size; break;
    case kRate: number = defaults.rate; break;
    case kReplayPort: number = defaults.replay_port; break;
    case kMaxGap: number = defaults.max_gap; break;
    default: return "";
  }
  if (number == 0 && option.unset != nullptr) return std::string(": ") + option.unset;
  return " " + std::to_string(number);
}

// The help of one option: its words, its range and its default.
std::string HelpText(const Option& option) {
  std::string help = option.help;
  if (option.high > 0) help += ", " + std::to_string(option.low) + " to " + std::to_string(option.high);
  const std::string default_text = DefaultText(option);
  if (!default_text.empty()) help += " (default" + default_text + ")";
  return help;
}

// A whole number of digits alone: no sign, no spaces.
bool ParseNumber(const char* text, long low, long high, long* value) {
  if (*text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

const Option* FindOption(const std::string& name) {
  if (name == "-h" || name == "-?") return FindOption("--help");
  for (const Option& option : kOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

// The options that shape made-up scans, which a replay does without.
bool ShapesScans(OptionId id) {
  return id == kScans || id == kBlocks || id == kSize || id == kNoBeam || id == kSameValues || id == kSmooth;
}

}  // namespace

SenderCommand ParseSenderOptions(int argc, const char* const* argv, SenderOptions* options, std::string* error) {
  std::string scan_option;  // the first option given that shapes scans
  std::string replay_option;  // the first option given that goes with --replay
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "/?") return kShowHelp;  // as Windows programs take it
    if (word.compare(0, 1, "-") != 0 || word == "-") {
      *error = "unexpected argument '" + word + "' (see --help)";
      return kBadArguments;
    }
    const size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    const Option* option = FindOption(name);
    if (option == nullptr) {
      *error = "unknown option '" + name + "' (see --help)";
      return kBadArguments;
    }
    if (ShapesScans(option->id) && scan_option.empty()) scan_option = name;
    if ((option->id == kReplayPort || option->id == kMaxGap) && replay_option.empty()) replay_option = name;
    if (option->value_name == nullptr) {
      if (equals != std::string::npos) {
        *error = name + " takes no value";
        return kBadArguments;
      }
      switch (option->id) {
        case kNoBeam: options->plan.beam_range = false; break;
        case kSameValues: options->plan.same_values = true; break;
        case kSmooth: options->plan.smooth = true; break;
        case kKeepWindow: options->keep_window = true; break;
        case kHelp: return kShowHelp;
        case kVersion: return kShowVersion;
        default: break;
      }
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = word.substr(equals + 1);
    } else if (i + 1 < argc) {
      value = argv[++i];
    }
    if (value.empty()) {
      *error = name + " needs a value (" + option->value_name + ")";
      return kBadArguments;
    }
    long number = 0;
    if (option->high > 0 && !ParseNumber(value.c_str(), option->low, option->high, &number)) {
      *error = "bad value '" + value + "' for ";
      *error += name;
      *error += ": a whole number from " + std::to_string(option->low);
      *error += " to " + std::to_string(option->high) + " is needed";
      return kBadArguments;
    }
    switch (option->id) {
      case kHost: options->host = value; break;
      case kPort: options->port = number; break;
      case kScans: options->plan.scans = number; break;
      case kBlocks: options->plan.blocks = number; break;
      case kSize: options->plan.size = number; break;
      case kRate: options->rate = number; break;
      case kReceiver: options->receiver = value; break;
      case kReplay: options->replay = value; break;
      case kReplayPort: options->replay_port = number; break;
      case kMaxGap: options->max_gap = number; break;
      default: break;
    }
  }
  if (!options->replay.empty() && !scan_option.empty()) {
    *error = scan_option + " shapes made-up scans, which --replay replaces with the capture's telegrams";
    return kBadArguments;
  }
  if (!replay_option.empty() && options->replay.empty()) {
    *error = replay_option + " goes with --replay";
    return kBadArguments;
  }
  return kSend;
}

std::string SenderUsage() {
  std::string text =
      "usage: telegram-sender [options]\n"
      "Plays the scanner: sends scans of telegrams over UDP, each a type-1\n"
      "telegram with the beam range, then type-6 blocks 0 to N-1 of 16-bit\n"
      "values. The defaults send " +
      std::to_string(kDatagramLimit) +
      " telegrams, a whole run of telegram-receiver.\n"
      "Options take their value as --name VALUE or --name=VALUE.\n"
      "\n";
  for (const Option& option : kOptions) {
    std::string left = std::string("  ") + option.name;
    if (option.value_name != nullptr) left += std::string(" ") + option.value_name;
    text += left;
    text += left.size() < 22 ? std::string(22 - left.size(), ' ') : "\n" + std::string(22, ' ');
    // The help wrapped to 80 columns.
    const std::string help = HelpText(option);
    size_t column = 22;
    size_t at = 0;
    while (at < help.size()) {
      size_t space = help.find(' ', at);
      if (space == std::string::npos) space = help.size();
      const std::string help_word = help.substr(at, space - at);
      if (column > 22 && column + 1 + help_word.size() > 79) {
        text += "\n" + std::string(22, ' ');
        column = 22;
      } else if (column > 22) {
        text += ' ';
        ++column;
      }
      text += help_word;
      column += help_word.size();
      at = space + 1;
    }
    text += "\n";
  }
  return text;
}
