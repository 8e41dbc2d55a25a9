// Fuzzes the command line: the input split at NUL bytes is the argument
// vector given to the option parser (and its tokenizer).
#include <cstdint>
#include <string>
#include <vector>

#include "OptionTokenizer.h"
#include "UpdaterDisplay.h"
#include "UpdaterOptions.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

class QuietDisplay : public UpdaterDisplayInterface {
 public:
  void setProgressActive(bool) override {}
  void showProgress(double, const char*) override {}
  void showBusy(bool, const char*) override {}
  void showMessage(const char*) override {}
  void showError(const char*) override { ++errors; }
  int errors = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> words(1, "Updater");
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  words.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  const int argc = static_cast<int>(argv.size());

  OptionTokenizer tokenizer(argc, argv.data());
  OptionToken token;
  int tokens = 0;
  while (tokenizer.next(token)) {
    check(++tokens <= argc);
    check(token.argumentIndex >= 1 && token.argumentIndex < argc);
    check((token.status == TokenStatus::Option) == (token.option != nullptr));
  }

  QuietDisplay display;
  UpdaterOptions options;
  const int result = parseOptions(&display, argc, argv.data(), options);
  check(result == 0 || result == 1);
  if (result == 1 && !(options.commands & CMD_HELP)) check(display.errors > 0);
  // Help and version end the parse at once, whatever came before them.
  const bool stoppedEarly = (options.commands & CMD_HELP) || options.versionRequested;
  if (options.transportGiven && result == 0 && !stoppedEarly)
    check(options.transport == TRANSPORT_USB || options.transport == TRANSPORT_TCPIP ||
          options.transport == TRANSPORT_RECOVER);
  if (!options.buildNumber.empty()) check(options.buildNumber.find_first_not_of("0123456789") == std::string::npos);
  return 0;
}
