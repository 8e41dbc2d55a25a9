#ifndef SIMISP_OPTIONS_H
#define SIMISP_OPTIONS_H
// Settings of the simulated ISP boot loader: the part it answers as, where
// its flash goes, the wire-time emulation and the fault switches.
#include <cstdint>
#include <map>
#include <string>

struct IspSimOptions {
  // The part.
  uint32_t partId = 0x26013F37;           // answer of J (a 512 KB part with 16 x 4 KB + 14 x 32 KB sectors)
  uint32_t bootCodeMajor = 4;             // answer of K
  uint32_t bootCodeMinor = 1;
  uint32_t serial[4] = {0x12345678, 0x9ABCDEF0, 0x0F1E2D3C, 0x4B5A6978};  // answer of N

  // Files.
  std::string flashFile;  // saved on exit and after each copy; empty = not saved
  std::string loadFile;   // initial flash contents; empty = blank (0xFF)
  std::string portFile;   // receives the pseudo-terminal's path; empty = none

  // Wire time: 10 bit times per character in each direction.
  bool wireTime = false;
  uint32_t baud = 0;  // rate of the emulated wire; 0 = the rate the host set on the line

  // Faults.
  bool silent = false;                  // answers nothing at all
  std::map<char, long> statusFor;       // command letter -> status it is answered with
  uint32_t resends = 0;                 // the first N checksums are answered RESEND
  uint32_t refusals = 0;                // the first N commands are answered INVALID_COMMAND
  bool wrongEcho = false;               // echoed command lines come back with one byte changed
  uint32_t eraseMs = 0;                 // an erase takes this long before its status
};

// Parses the command line. False with *error set on a bad argument; *help
// set when --help was asked for.
bool parseIspSimOptions(int argc, char** argv, IspSimOptions* options, bool* help, std::string* error);
// The --help text, every option with its default.
std::string ispSimUsage();

#endif
