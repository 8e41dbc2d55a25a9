// The option parser: tokens from OptionTokenizer, acted on in command-line
// order (a later option overrides an earlier one).
#include "UpdaterOptions.h"

#include <cstring>

#include "BuildNumber.h"
#include "OptionTokenizer.h"
#include "SerialNumber.h"
#include "UpdaterDisplay.h"
#include "server/ServerComm.h"
#include "aDirectory.h"

const char kDefaultServerUrl[] = UPDATER_DEFAULT_SERVER_URL;

namespace {

// Room kept for the home directory text.
const size_t kHomeBuffer = 2048;

// Reads digits of base 10 or 16 from text; *used receives how many characters
// were read. Stops before a digit that would take the value past 32 bits.
uint32_t readNumber(const char* text, int base, size_t* used) {
  uint64_t value = 0;
  size_t i = 0;
  for (; text[i]; ++i) {
    const int digit = hexDigitValue(text[i]);
    if (digit < 0 || digit >= base) break;
    uint64_t next = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (next > 0xFFFFFFFFull) break;
    value = next;
  }
  *used = i;
  return static_cast<uint32_t>(value);
}

// Whole text as a number of the base, or 0 when it is empty, holds anything
// else, or does not fit in 32 bits.
uint32_t wholeNumber(const std::string& text, int base) {
  size_t used = 0;
  uint32_t value = readNumber(text.c_str(), base, &used);
  return (!text.empty() && used == text.size()) ? value : 0;
}

// A serial number in hexadecimal, optionally with a "0x" prefix (dropped
// from text with the note); 0 when invalid.
uint32_t serialFromText(const char* note, std::string& text) {
  if (hasHexPrefix(text)) {
    debugPrint(DEBUG_Updater, "%s", note);
    text.erase(0, 2);
  }
  uint32_t serial = 0;
  return parseSerialNumber(text, &serial) ? serial : 0;
}

class Parser {
 public:
  Parser(UpdaterDisplayInterface* display, UpdaterOptions& options)
      : display_(display), options_(options) {}

  // Acts on one recognised option. Returns false when the parse ends here.
  bool apply(const OptionSpec& spec, const std::string& parameter) {
    const std::string name = spec.text;
    if (spec.group == OptionGroup::Help) {
      options_.commands |= CMD_HELP;
      options_.helpRequested = true;
      return false;
    }
    if (spec.group == OptionGroup::Version) {
      options_.versionRequested = true;
      return false;
    }
    if (name == "-B") options_.commands |= CMD_LIST_BUILDS;
    else if (name == "-D") options_.commands |= CMD_DISCOVER;
    else if (name == "-G") options_.commands |= CMD_GET_BUILD;
    else if (name == "-I") options_.commands |= CMD_INFO;
    else if (name == "-U") options_.commands |= CMD_UPDATE;
    else if (name == "-N") options_.commands |= CMD_FINGERPRINT;
    else if (name == "-C") options_.commands |= CMD_CHECK;
    else if (name == "-OVERRIDE") options_.overrideModelCheck = true;
    else if (name == "-n") options_.nFlag = true;
    else if (name == "-e") options_.echo = true;
    else if (name == "-Z") options_.commands |= CMD_Z;
    else if (name == "-d") setSerial(parameter);
    else if (name == "-r") setRouter(parameter);
    else if (name == "-b") setBuild(parameter);
    else if (name == "-o") options_.baudRate = wholeNumber(parameter, 10);
    else if (name == "-t") setTransport(parameter);
    else if (name == "-X") setDebugMask(spec, parameter);
    else if (name == "-s") options_.serialPort = parameter;
    else if (name == "-f") options_.birdFile = parameter;
    else if (name == "-l") options_.logMessage = parameter;
    else if (name == "-k") options_.logFileName = parameter;
    else if (name == "-u") options_.serverUrl = parameter;
    else fail("Unhandled command: [%s]", spec.text);  // -Y
    return true;
  }

  int result() const { return failed_ ? 1 : 0; }

 private:
  template <typename... Args>
  void fail(const char* format, Args... args) {
    if (display_) display_->print(1, format, args...);
    failed_ = true;
  }

  void setSerial(std::string text) {
    options_.serialNumber = serialFromText("Discarding '0x' serial number prefix\n", text);
    if (!options_.serialNumber) fail("Invalid serial number obtained from argument [%s]", text.c_str());
  }

  void setRouter(std::string text) {
    options_.routerSerialNumber =
        serialFromText("Discarding '0x' router serial number prefix\n", text);
    if (!options_.routerSerialNumber)
      fail("Invalid router serial number obtained from argument [%s]", text.c_str());
  }

  // Decimal digits only, else build 0 (the current build); digits that do
  // not fit in 32 bits are refused rather than read as 0.
  void setBuild(const std::string& text) {
    uint32_t build = 0;
    if (!parseBuildNumber(text, &build) && isDecimalDigits(text)) {
      fail("Build number '%s' does not fit in 32 bits", text.c_str());
      return;
    }
    options_.buildNumber = std::to_string(build);
  }

  void setTransport(const std::string& text) {
    options_.transportGiven = true;
    if (text.compare(0, 3, "USB") == 0) {
      options_.transport = TRANSPORT_USB;
    } else if (text.compare(0, 3, "TCP") == 0) {
      options_.transport = TRANSPORT_TCPIP;
    } else if (text.compare(0, 7, "RECOVER") == 0) {
      options_.transport = TRANSPORT_RECOVER;
    } else {
      options_.transport = TRANSPORT_INVALID;
      fail("Invalid transport type:[%s]\nMust be one of the following: USB, TCPIP, RECOVER",
           text.c_str());
    }
  }

  void setDebugMask(const OptionSpec& spec, const std::string& text) {
    options_.debugMaskGiven = true;
    const bool hex = hasHexPrefix(text);
    const char* digits = text.c_str() + (hex ? 2 : 0);
    size_t used = 0;
    options_.debugMask = readNumber(digits, hex ? 16 : 10, &used);
    if (digits[used]) {
      if (display_)
        display_->print(1, "Invalid format for \"%s\" parameter, unprocessed characters [%s]",
                        spec.text, digits + used);
      return;
    }
    addDebugChannels(options_.debugMask);
  }

  UpdaterDisplayInterface* display_;
  UpdaterOptions& options_;
  bool failed_ = false;
};

std::string programNameOf(const char* path) {
  if (!path) return std::string();
  const char* name = path;
  for (const char* at = path; *at; ++at)
    if (*at == '/' || *at == '\\') name = at + 1;
  return name;
}

}  // namespace

int parseOptions(UpdaterDisplayInterface* display, int argc, const char* const* argv,
                 UpdaterOptions& options) {
  options = UpdaterOptions();
  options.programName = programNameOf(argc > 0 ? argv[0] : nullptr);
  char home[kHomeBuffer];
  if (aDirectory_GetHomeDirectory(home, sizeof home) == aErrNone) options.homeDirectory = home;
  debugPrint(DEBUG_APP, "Home directory:[%s]\n", options.homeDirectory.c_str());

  Parser parser(display, options);
  OptionTokenizer tokenizer(argc, argv);
  OptionToken token;
  while (tokenizer.next(token)) {
    if (token.status != TokenStatus::Option) continue;  // not acted on, no message
    if (!parser.apply(*token.option, token.parameter)) return 0;  // help and version end the parse
  }

  debugPrint(DEBUG_APP, "\nApplication parameters:[%s]\n", options.programName.c_str());
  for (int i = 0; i < argc; ++i) debugPrint(DEBUG_APP, "\t[%s]\n", argv[i]);
  return parser.result();
}
