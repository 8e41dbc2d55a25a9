// Command line of the simulated ISP boot loader.
#include "IspSimOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool parseNumber(const char* text, unsigned long long limit, unsigned long long* value) {
  if (!text || !*text || *text == '-')
    return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long parsed = strtoull(text, &end, 0);
  if (*end != '\0' || errno != 0 || parsed > limit)
    return false;
  *value = parsed;
  return true;
}

bool parseU32(const char* text, uint32_t* value) {
  unsigned long long parsed;
  if (!parseNumber(text, 0xFFFFFFFFull, &parsed))
    return false;
  *value = static_cast<uint32_t>(parsed);
  return true;
}

bool parseSerial(const char* text, uint32_t words[4]) {
  std::string rest = text;
  for (int i = 0; i < 4; ++i) {
    size_t comma = rest.find(',');
    if ((comma == std::string::npos) != (i == 3))
      return false;
    if (!parseU32(rest.substr(0, comma).c_str(), &words[i]))
      return false;
    rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
  }
  return true;
}

bool parseStatus(const char* text, std::map<char, long>* statusFor) {
  // C=N: command letter, status number 0-255.
  unsigned long long code;
  if (strlen(text) < 3 || text[1] != '=' || !parseNumber(text + 2, 255, &code))
    return false;
  (*statusFor)[text[0]] = static_cast<long>(code);
  return true;
}

bool parseBootCode(const char* text, IspSimOptions* options) {
  const char* dot = strchr(text, '.');
  if (!dot)
    return false;
  std::string major(text, static_cast<size_t>(dot - text));
  return parseU32(major.c_str(), &options->bootCodeMajor) && parseU32(dot + 1, &options->bootCodeMinor);
}

}  // namespace

std::string ispSimUsage() {
  return "Usage: simisp [options]\n"
         "Simulated serial ISP boot loader of a 512 KB part (sectors 0-15 of 4 KB,\n"
         "16-29 of 32 KB; RAM 0x10000000-0x10007FFF) on a pseudo-terminal. Prints the\n"
         "path of the terminal to open as the serial port, then serves until SIGINT,\n"
         "SIGTERM or a line \"quit\" on the standard input.\n"
         "\n"
         "  --flash FILE        flash image, saved after each copy and on exit (default: not saved)\n"
         "  --load FILE         initial flash contents, padded with 0xFF (default: blank, all 0xFF)\n"
         "  --port-file FILE    also write the terminal's path to FILE (default: none)\n"
         "  --serial A,B,C,D    the four words answered to N\n"
         "                      (default: 0x12345678,0x9ABCDEF0,0x0F1E2D3C,0x4B5A6978)\n"
         "  --part-id N         part identifier answered to J (default: 0x26013F37)\n"
         "  --boot-code M.N     boot code version answered to K (default: 4.1)\n"
         "  --wire-time         emulate the wire: 10 bit times per character each way (default: off)\n"
         "  --baud N            rate of the emulated wire; 0 = the rate set on the line (default: 0)\n"
         "Faults:\n"
         "  --silent            answer nothing (default: off)\n"
         "  --status C=N        answer command letter C with status N; repeatable (default: none)\n"
         "  --resend N          answer the first N checksums with RESEND (default: 0)\n"
         "  --refuse N          answer the first N commands with INVALID_COMMAND (default: 0)\n"
         "  --wrong-echo        echo command lines with one byte changed (default: off)\n"
         "  --erase-ms N        an erase takes N milliseconds before its status (default: 0)\n"
         "  --help              this text\n";
}

bool parseIspSimOptions(int argc, char** argv, IspSimOptions* options, bool* help, std::string* error) {
  *help = false;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    auto flag = [&](const char* name, bool* target) {
      if (option != name)
        return false;
      *target = true;
      return true;
    };
    if (option == "--help" || option == "-h") {
      *help = true;
      return true;
    }
    if (flag("--wire-time", &options->wireTime) || flag("--silent", &options->silent) ||
        flag("--wrong-echo", &options->wrongEcho))
      continue;
    if (i + 1 >= argc) {
      *error = option.rfind("--", 0) == 0 ? "option " + option + " needs a value or is unknown"
                                           : "unexpected argument " + option;
      return false;
    }
    const char* value = argv[++i];
    bool ok = true;
    if (option == "--flash")
      options->flashFile = value;
    else if (option == "--load")
      options->loadFile = value;
    else if (option == "--port-file")
      options->portFile = value;
    else if (option == "--serial")
      ok = parseSerial(value, options->serial);
    else if (option == "--part-id")
      ok = parseU32(value, &options->partId);
    else if (option == "--boot-code")
      ok = parseBootCode(value, options);
    else if (option == "--baud")
      ok = parseU32(value, &options->baud);
    else if (option == "--status")
      ok = parseStatus(value, &options->statusFor);
    else if (option == "--resend")
      ok = parseU32(value, &options->resends);
    else if (option == "--refuse")
      ok = parseU32(value, &options->refusals);
    else if (option == "--erase-ms")
      ok = parseU32(value, &options->eraseMs);
    else {
      *error = "unknown option " + option;
      return false;
    }
    if (!ok) {
      *error = "bad value for " + option + ": " + value;
      return false;
    }
  }
  return true;
}
