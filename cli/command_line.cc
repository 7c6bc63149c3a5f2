#include "cli/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "cli/version.h"

namespace {

const char kSeeHelp[] = " (see --help)";
// The column where an option's words begin, and the width of a line.
const size_t kHelpColumn = 22;
const size_t kLineWidth = 79;

bool IsHelp(const std::string& word) { return word == "--help" || word == "-h" || word == "-?" || word == "/?"; }

// A whole number of digits alone: no sign, no spaces.
bool ReadNumber(const std::string& text, long low, long high, long* value) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

const CommandLineOption* Find(const std::vector<CommandLineOption>& options, const std::string& name) {
  for (const CommandLineOption& option : options) {
    if (name == option.name || (option.short_name != nullptr && name == option.short_name)) return &option;
  }
  return nullptr;
}

// Takes `value` for `option`; false, with `*err`, if it will not do.
bool Take(const CommandLineOption& option, const std::string& name, const std::string& value, std::string* err) {
  if (value.empty()) {
    *err = name + " needs a value (" + option.value_name + ")";
    return false;
  }
  if (option.texts != nullptr) {
    option.texts->push_back(value);
    return true;
  }
  if (option.number == nullptr) {
    *option.text = value;
    return true;
  }
  if (!ReadNumber(value, option.low, option.high, option.number)) {
    *err = "bad value '" + value + "' for " + name + ": a whole number from " + std::to_string(option.low) + " to " +
           std::to_string(option.high) + " is needed";
    return false;
  }
  return true;
}

// One line of help: the option on the left, its words wrapped on the right.
std::string HelpLine(const std::string& left, const std::string& words) {
  std::string line = left;
  // At least two spaces between the option and its words.
  line += left.size() + 2 <= kHelpColumn ? std::string(kHelpColumn - left.size(), ' ')
                                         : "\n" + std::string(kHelpColumn, ' ');
  size_t column = kHelpColumn;
  size_t at = 0;
  while (at < words.size()) {
    size_t space = words.find(' ', at);
    if (space == std::string::npos) space = words.size();
    const std::string word = words.substr(at, space - at);
    if (column > kHelpColumn && column + 1 + word.size() > kLineWidth) {
      line += "\n" + std::string(kHelpColumn, ' ');
      column = kHelpColumn;
    } else if (column > kHelpColumn) {
      line += ' ';
      ++column;
    }
    line += word;
    column += word.size();
    at = space + 1;
  }
  return line + "\n";
}

}  // namespace

CommandLineOption NumberOption(const char* name, const char* value_name, long low, long high, const char* help,
                               long* number, const char* zero_means) {
  return CommandLineOption{name, nullptr, value_name, low, high, help, zero_means, number, nullptr, nullptr, false, nullptr};
}

CommandLineOption TextOption(const char* name, const char* value_name, const char* help, std::string* text,
                             const char* short_name) {
  return CommandLineOption{name, short_name, value_name, 0, 0, help, nullptr, nullptr, text, nullptr, false, nullptr};
}

CommandLineOption FlagOption(const char* name, const char* help, bool* flag, bool value) {
  return CommandLineOption{name, nullptr, nullptr, 0, 0, help, nullptr, nullptr, nullptr, flag, value, nullptr};
}

CommandLineOption ListOption(const char* name, const char* value_name, const char* help,
                             std::vector<std::string>* texts) {
  return CommandLineOption{name, nullptr, value_name, 0, 0, help, nullptr, nullptr, nullptr, nullptr, false, texts};
}

CommandLineResult ReadCommandLine(int argc, const char* const* argv, const std::vector<CommandLineOption>& options,
                                  size_t most_operands, const char* too_many, CommandLineRead* read,
                                  std::string* err) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (IsHelp(word)) return kShowHelp;
    if (word == "--version") return kShowVersion;
    if (word.compare(0, 1, "-") != 0 || word == "-") {
      if (read->operands.size() >= most_operands) {
        *err = "unexpected argument '" + word + "'" + too_many + kSeeHelp;
        return kBadCommandLine;
      }
      read->operands.push_back(word);
      continue;
    }
    const size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    const CommandLineOption* option = Find(options, name);
    if (option == nullptr) {
      *err = "unknown option '" + name + "'" + kSeeHelp;
      return kBadCommandLine;
    }
    // The second of two would silently win over the first.
    if (option->texts == nullptr &&
        std::find(read->given.begin(), read->given.end(), option->name) != read->given.end()) {
      *err = std::string(option->name) + " is given twice; give it once" + kSeeHelp;
      return kBadCommandLine;
    }
    read->given.push_back(option->name);
    if (option->value_name == nullptr) {
      if (equals != std::string::npos) {
        *err = name + " takes no value";
        return kBadCommandLine;
      }
      *option->flag = option->flag_value;
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = word.substr(equals + 1);
    } else if (i + 1 < argc) {
      value = argv[++i];
    }
    if (!Take(*option, name, value, err)) return kBadCommandLine;
  }
  return kRunProgram;
}

bool AnswerCommandLine(CommandLineResult result, const char* program, std::string (*usage)(), const std::string& err,
                       int* status) {
  switch (result) {
    case kShowHelp: fputs(usage().c_str(), stdout); break;
    case kShowVersion: printf("%s %s\n", program, kTelegramVersion); break;
    case kBadCommandLine: fprintf(stderr, "%s: %s\n", program, err.c_str()); break;
    case kRunProgram: return false;
  }
  *status = result == kBadCommandLine ? 2 : 0;
  return true;
}

std::string OptionsHelp(const std::vector<CommandLineOption>& options) {
  std::string help;
  for (const CommandLineOption& option : options) {
    std::string left = "  ";
    if (option.short_name != nullptr) left += std::string(option.short_name) + ", ";
    left += option.name;
    if (option.value_name != nullptr) left += std::string(" ") + option.value_name;
    std::string words = option.help;
    if (option.number != nullptr) {
      words += ", " + std::to_string(option.low) + " to " + std::to_string(option.high);
      if (*option.number == 0 && option.zero_means != nullptr) {
        words += std::string(" (default: ") + option.zero_means + ")";
      } else {
        words += " (default " + std::to_string(*option.number) + ")";
      }
    } else if (option.text != nullptr && !option.text->empty()) {
      words += " (default " + *option.text + ")";
    }
    help += HelpLine(left, words);
  }
  help += HelpLine("  --help", "show this text (also -h, -?, /?)");
  help += HelpLine("  --version", "show the version");
  return help;
}
