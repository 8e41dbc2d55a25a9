// Command-line tokenizer: see OptionTokenizer.h for the rules.
#include "OptionTokenizer.h"

#include <cstring>

const OptionSpec kOptionTable[] = {
    {"-B", OptionGroup::Command, false},
    {"-D", OptionGroup::Command, false},
    {"-G", OptionGroup::Command, false},
    {"-I", OptionGroup::Command, false},
    {"-U", OptionGroup::Command, false},
    {"-OVERRIDE", OptionGroup::Command, false},
    {"-N", OptionGroup::Command, false},
    {"-Y", OptionGroup::Command, false},
    {"-C", OptionGroup::Command, false},
    {"-h", OptionGroup::Help, false},
    {"-H", OptionGroup::Help, false},
    {"-n", OptionGroup::Setting, false},
    {"-X", OptionGroup::SettingWithParameter, true},
    {"-Z", OptionGroup::SettingWithParameter, true},
    {"-b", OptionGroup::SettingWithParameter, true},
    {"-d", OptionGroup::SettingWithParameter, true},
    {"-t", OptionGroup::SettingWithParameter, true},
    {"-f", OptionGroup::SettingWithParameter, true},
    {"-r", OptionGroup::SettingWithParameter, true},
    {"-s", OptionGroup::SettingWithParameter, true},
    {"-o", OptionGroup::SettingWithParameter, true},
    {"-e", OptionGroup::SettingWithParameter, true},
    {"-l", OptionGroup::SettingWithParameter, true},
    {"-k", OptionGroup::SettingWithParameter, true},
    {"-u", OptionGroup::SettingWithParameter, true},
    {"--help", OptionGroup::Help, false},
    {"-V", OptionGroup::Version, false},
    {"--version", OptionGroup::Version, false},
};
const size_t kOptionCount = sizeof(kOptionTable) / sizeof(kOptionTable[0]);

namespace {

// Two characters ("-B") is a short option: it is only ever matched exactly,
// and so are the version options, which came after the prefix rules.
bool exactOnly(const OptionSpec& spec) {
  return std::strlen(spec.text) <= 2 || spec.group == OptionGroup::Version;
}

}  // namespace

bool OptionTokenizer::looksLikeOption(const char* text) { return text && text[0] == '-'; }

const OptionSpec* OptionTokenizer::lookup(const std::string& name) {
  for (size_t i = 0; i < kOptionCount; ++i)
    if (name == kOptionTable[i].text) return &kOptionTable[i];
  // Prefix of a long option: the rows that name is a prefix of all match it
  // over its whole length, so the longest partial match is unique only when
  // exactly one such row exists.
  const OptionSpec* found = nullptr;
  int matches = 0;
  for (size_t i = 0; i < kOptionCount; ++i) {
    const OptionSpec& spec = kOptionTable[i];
    if (exactOnly(spec) || name.size() >= std::strlen(spec.text)) continue;
    if (std::strncmp(spec.text, name.c_str(), name.size()) == 0) {
      found = &spec;
      ++matches;
    }
  }
  return matches == 1 ? found : nullptr;
}

bool OptionTokenizer::next(OptionToken& token) {
  while (index_ < argc_ && !looksLikeOption(argv_[index_])) ++index_;  // plain arguments
  if (index_ >= argc_) return false;

  token = OptionToken{TokenStatus::Option, nullptr, std::string(), index_};
  const std::string argument = argv_[index_++];
  const size_t equals = argument.find('=');
  const std::string name = argument.substr(0, equals);
  const OptionSpec* spec = lookup(name);
  if (!spec) {
    token.status = TokenStatus::UnknownOption;
    return true;
  }
  if (equals != std::string::npos) {
    if (!spec->takesParameter) {
      token.status = TokenStatus::UnexpectedParameter;
      return true;
    }
    token.parameter = argument.substr(equals + 1);
  } else if (spec->takesParameter) {
    if (index_ >= argc_ || looksLikeOption(argv_[index_])) {
      token.status = TokenStatus::MissingParameter;
      return true;
    }
    token.parameter = argv_[index_++];
  }
  token.option = spec;
  return true;
}
