#ifndef UPDATER_UPDATEROPTIONS_H
#define UPDATER_UPDATEROPTIONS_H
// The command line as one record, and the parser that fills it.
#include <cstdint>
#include <string>

class UpdaterDisplayInterface;

// Bits of UpdaterOptions::commands.
enum : uint32_t {
  CMD_DISCOVER = 0x00000001,    // -D
  CMD_UPDATE = 0x00000002,      // -U
  CMD_LIST_BUILDS = 0x00000004, // -B
  CMD_GET_BUILD = 0x00000008,   // -G
  CMD_INFO = 0x00000010,        // -I
  CMD_CHECK = 0x00000020,       // -C
  CMD_FINGERPRINT = 0x00000040, // -N
  CMD_Z = 0x00000080,           // -Z
  CMD_HELP = 0x80000000,        // -h, -H, --help
  // Bits that count as a command given.
  CMD_ANY = 0x000305FF,
};

// Values of UpdaterOptions::transport.
enum : int32_t {
  TRANSPORT_INVALID = 0,
  TRANSPORT_USB = 1,
  TRANSPORT_TCPIP = 2,
  TRANSPORT_RECOVER = 255,
};

// Where the update server is asked when -u is not given.
extern const char kDefaultServerUrl[];

struct UpdaterOptions {
  uint32_t commands = 0;
  uint32_t serialNumber = 0;
  uint32_t routerSerialNumber = 0;
  int32_t transport = TRANSPORT_USB;
  bool transportGiven = false;
  std::string serialPort;
  uint32_t baudRate = 115200;
  uint8_t moduleAddress = 0;  // no option sets it
  std::string birdFile;
  std::string logMessage;
  std::string buildNumber;    // decimal text
  bool echo = false;
  std::string serverUrl = kDefaultServerUrl;
  bool nFlag = false;
  std::string programName;
  std::string homeDirectory;
  std::string logMode = "a+";
  std::string logFileName = "Updater.log";
  bool overrideModelCheck = false;
  uint32_t debugMask = 0;
  bool debugMaskGiven = false;
  bool helpRequested = false;
  bool versionRequested = false;  // -V, --version
};

// Resets options to the defaults, then reads argv into it. Messages go to the
// display at level 1. Returns 0 when every option was accepted, 1 otherwise.
int parseOptions(UpdaterDisplayInterface* display, int argc, const char* const* argv,
                 UpdaterOptions& options);

#endif
