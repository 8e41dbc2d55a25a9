#ifndef UPDATER_OPTIONTOKENIZER_H
#define UPDATER_OPTIONTOKENIZER_H
// Splits a command line into options and their parameters. Pure text
// handling: no output, so it can be tested and fuzzed on its own.
//
// Rules: an argument beginning with '-' is an option, anything else (a path
// beginning with '/' included) is a plain argument and is passed over. An
// option is looked up exactly; failing that, a long option is selected by a
// unique prefix ("-OV" selects -OVERRIDE, "--he" --help); --version is only
// ever matched exactly, so that "--" and "--h" keep selecting --help. A parameter is
// joined with '=' or is the next argument, which must not be an option.
#include <cstddef>
#include <string>

// What an option is for; the parser acts on the identifier.
enum class OptionGroup { Command, Help, Setting, SettingWithParameter, Version };

struct OptionSpec {
  const char* text;  // "-B", "-OVERRIDE", "--help"
  OptionGroup group;
  bool takesParameter;
};

// The option table in search order.
extern const OptionSpec kOptionTable[];
extern const size_t kOptionCount;

enum class TokenStatus {
  Option,             // option (and its parameter) recognised
  UnknownOption,      // not in the table, or an ambiguous prefix
  MissingParameter,   // no argument follows, or the next one is an option
  UnexpectedParameter // "=value" on an option that takes none
};

struct OptionToken {
  TokenStatus status;
  const OptionSpec* option;  // null unless status is Option
  std::string parameter;
  int argumentIndex;         // where the option stands in argv
};

class OptionTokenizer {
 public:
  OptionTokenizer(int argc, const char* const* argv) : argc_(argc), argv_(argv) {}
  // The next option at or after the current position; false at the end.
  bool next(OptionToken& token);

  // True when text would be read as an option.
  static bool looksLikeOption(const char* text);
  // The table row that name selects (exact, or unique longest prefix of a
  // long option); null when none or more than one.
  static const OptionSpec* lookup(const std::string& name);

 private:
  int argc_;
  const char* const* argv_;
  int index_ = 1;
};

#endif
