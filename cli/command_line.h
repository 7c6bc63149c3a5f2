// A program's command line, read against one table of its options: each
// row names an option, says what value it takes (a whole number in a range,
// a text, or none), gives the words of --help, and points to where the value
// goes, whose value beforehand --help shows as the default. Help and version
// flags are the same for every program: --help, -h, -?, /? and --version.
// Options take their value as "--name VALUE" or "--name=VALUE".
#ifndef CLI_COMMAND_LINE_H_
#define CLI_COMMAND_LINE_H_

#include <string>
#include <vector>

struct CommandLineOption {
  const char* name;        // "--port"
  const char* short_name;  // "-o", or null
  const char* value_name;  // "N", or null for an option that takes no value
  long low;                // a number's range
  long high;
  const char* help;
  const char* zero_means;  // for --help: what a number of 0 means, or null
  // Where the value goes; one of them.
  long* number;
  std::string* text;
  bool* flag;
  bool flag_value;  // what the flag becomes
  std::vector<std::string>* texts;  // a repeatable option's values, in order
};

// A whole number from `low` to `high`, written as digits alone.
CommandLineOption NumberOption(const char* name, const char* value_name, long low, long high, const char* help,
                               long* number, const char* zero_means = nullptr);
// A text, never empty.
CommandLineOption TextOption(const char* name, const char* value_name, const char* help, std::string* text,
                             const char* short_name = nullptr);
// A text that may be given more than once: each value is added to `texts`.
CommandLineOption ListOption(const char* name, const char* value_name, const char* help,
                             std::vector<std::string>* texts);
// No value: the flag becomes `value`.
CommandLineOption FlagOption(const char* name, const char* help, bool* flag, bool value = true);

enum CommandLineResult { kRunProgram, kShowHelp, kShowVersion, kBadCommandLine };

struct CommandLineRead {
  std::vector<std::string> operands;  // arguments that are no option, in order
  std::vector<std::string> given;     // the options given, by name, in order
};

// Reads the arguments after the program's name into where `options` point.
// At most `most_operands` arguments may be no option ("-" is one); a further
// one is refused, with `too_many` after its name in the words. On
// kBadCommandLine `*err` says why in one line; a help or version flag wins
// over anything after it.
CommandLineResult ReadCommandLine(int argc, const char* const* argv, const std::vector<CommandLineOption>& options,
                                  size_t most_operands, const char* too_many, CommandLineRead* read,
                                  std::string* err);

// Answers a command line that asks for help or the version, or is bad: the
// text of `usage()` or "PROGRAM VERSION" on standard output, or the reason
// on standard error after the program's name; `*status` is then the exit
// status (0, or 2 for a bad command line). False for kRunProgram: the
// program goes on.
bool AnswerCommandLine(CommandLineResult result, const char* program, std::string (*usage)(), const std::string& err,
                       int* status);

// The options' lines of --help, each with its range and its default, then
// the help and version flags', in lines of at most 79 columns.
std::string OptionsHelp(const std::vector<CommandLineOption>& options);

#endif  // CLI_COMMAND_LINE_H_
