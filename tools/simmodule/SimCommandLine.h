#ifndef SIMMODULE_COMMAND_LINE_H
#define SIMMODULE_COMMAND_LINE_H
// The simmodule program's command line: its options and their parser.
#include <cstdint>
#include <string>
#include <vector>

#include "SimDiscovery.h"
#include "SimModule.h"
#include "SimUpgrade.h"

namespace simmodule_cli {

struct Options {
  simmodule::ModuleConfig module;
  simmodule::EndpointConfig endpoint;
  simmodule::UpgradeSettings upgrade;
  bool tcp = false;
  uint16_t port = 0;
  std::string bind = "127.0.0.1";
  bool pty = false;
  simmodule::DeviceOptions device;
  bool usb = false;
  std::vector<simmodule::ModuleConfig> usbModules;  // further modules on the bus
  uint32_t replugSerial = 0;                         // serial after the first drop, 0 = own
  bool usbBusy = false;                              // another process holds the devices
  bool bootLoader = false;                           // the module starts in its boot loader
  std::vector<std::string> command;                  // what runs inside the bus
};

// Reads argv into *options; prints the usage and exits 0 on --help; prints
// the cause to the error stream and returns false on a bad command line.
bool parseArguments(int argc, char** argv, Options* options);

extern const char kUsage[];

}  // namespace simmodule_cli

#endif
