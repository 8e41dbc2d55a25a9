// The simmodule program's command line: usage, help and the option parser.
#include "SimCommandLine.h"

#include <cstdio>
#include <cstdlib>

namespace simmodule_cli {

const char kUsage[] =
    "usage: simmodule [--config FILE] [--tcp PORT] [--bind ADDRESS] [--pty]\n"
    "                 [--serial N] [--model N] [--address N] [--firmware VERSION] [--build N]\n"
    "                 [--heartbeat MS] [--heartbeat-before-start on|off] [--resync-byte N]\n"
    "                 [--garbage MS] [--silent on|off]\n"
    "  loader (command 95): [--loader-block-size N] [--reboot-delay MS] [--new-firmware VERSION]\n"
    "                 [--new-build N] [--flash-out FILE] and the faults [--prepare-status N]\n"
    "                 [--prepare-error-at I] [--wrong-count-at I] [--wrong-count-repeats N]\n"
    "                 [--sum-off-at I] [--write-status N] [--silent-upgrade OPT,...]\n"
    "                 [--drop-at-data I] [--drop-on-load on|off] [--ignore-reboot on|off]\n"
    "                 [--reported-serial N]\n"
    "                 [--discovery on|off] [--behind ADDRESS:SERIAL:MODEL[:FIRMWARE[:BUILD]]]...\n"
    "                 [--absent silent|error]\n"
    "  USB: simmodule --usb [identity and loader options as above] [--usb-module ADDRESS:SERIAL:MODEL[:FIRMWARE[:BUILD]]]...\n"
    "                 [--replug-serial N] [--usb-busy on|off] [--usb-boot-loader on|off] -- COMMAND [ARGS]\n"
    "       runs COMMAND inside a simulated USB bus that carries the module (and each --usb-module)\n"
    "       and exits with COMMAND's exit code\n";

// --help: every option with its default.
const char kHelp[] =
    "\n"
    "Endpoint (one of --tcp and --pty is needed):\n"
    "  --tcp PORT                 listen for the host on TCP PORT (0 = a free port, printed)\n"
    "  --bind ADDRESS             address to listen on (default 127.0.0.1)\n"
    "  --pty                      open a pseudo-terminal for the host (its path is printed)\n"
    "  --config FILE              read the settings below from FILE as key = value lines\n"
    "                             (keys without the dashes, '#' starts a comment)\n"
    "Module identity:\n"
    "  --serial N                 serial number (default 0x0012ABCD)\n"
    "  --model N                  model number (default 19)\n"
    "  --address N                module address, even and non-zero (default 2)\n"
    "  --firmware VERSION         packed word or major.minor.patch (default 1.2.15)\n"
    "  --build N                  build number (default 1)\n"
    "Link level:\n"
    "  --heartbeat MS             heartbeat period after the host's link start, 0 = none\n"
    "                             (default 1000)\n"
    "  --heartbeat-before-start on|off   heartbeats before the link start too (default off)\n"
    "  --resync-byte N            byte of the resynchronisation answer (default 0 = the address)\n"
    "  --garbage MS               fault: odd bytes every MS ms, 0 = never (default 0)\n"
    "  --silent on|off            fault: answer nothing (default off)\n"
    "Loader (command 95):\n"
    "  --loader-block-size N      block size answered to PREPARE (default 256; 0 is a fault)\n"
    "  --reboot-delay MS          time offline after REBOOT (default 500)\n"
    "  --new-firmware VERSION     firmware after REBOOT (default: the running one, patch + 1)\n"
    "  --new-build N              build after REBOOT (default: the running one + 1)\n"
    "  --flash-out FILE           write the flash image to FILE at REBOOT (default: none)\n"
    "  --prepare-status N         status answered to PREPARE (default 0 = success)\n"
    "  --prepare-error-at I       only the I-th PREPARE gets that status (default: all)\n"
    "  --wrong-count-at I         the I-th DATA gets a wrong accepted count (default: none)\n"
    "  --wrong-count-repeats N    ... and so many in all, -1 = for ever (default 1)\n"
    "  --sum-off-at I             the I-th SUM answers the sum plus one (default: none)\n"
    "  --write-status N           status answered to WRITE (default 0)\n"
    "  --silent-upgrade OPT,...   loader options (0 INIT ... 5 WRITE) left unanswered\n"
    "                             (default: none)\n"
    "  --drop-at-data I           close the connection at the I-th DATA (default: never)\n"
    "  --drop-on-load on|off      LOAD restarts into the loader (default off)\n"
    "  --ignore-reboot on|off     REBOOT does nothing (default off)\n"
    "  --reported-serial N        serial number the system entity reports (default: the real one)\n"
    "Discovery and routing:\n"
    "  --discovery on|off         answer TCP/IP discovery (UDP 9888, 232.2.2.2) (default off)\n"
    "  --behind ADDRESS:SERIAL:MODEL[:FIRMWARE[:BUILD]]\n"
    "                             a module behind this one, which then routes (repeatable)\n"
    "  --absent silent|error      empty addresses stay silent or answer with errors\n"
    "                             (default silent)\n"
    "Simulated USB bus (instead of --tcp and --pty):\n"
    "  --usb                      put the module on a simulated USB bus (umockdev) as a device\n"
    "                             with vendor ID 0x3A7C, the model in the product ID and the\n"
    "                             serial number as \"%08X\", and run COMMAND after \"--\" on it;\n"
    "                             exits with COMMAND's exit code\n"
    "  --usb-module ADDRESS:SERIAL:MODEL[:FIRMWARE[:BUILD]]\n"
    "                             a further module on the bus, a device of its own (repeatable)\n"
    "  --replug-serial N          after its first drop off the bus a module comes back under\n"
    "                             serial number N, e.g. 0xDEADDEAD (default: its own)\n"
    "  --usb-busy on|off          another process holds the devices: claims fail with EBUSY\n"
    "                             (default off)\n"
    "  --usb-boot-loader on|off   the first module starts as the serial download boot loader\n"
    "                             (USB HID 0x1FC9:0x0130); the loader it is given and started\n"
    "                             comes up on the bus as the module (default off)\n"
    "  --help                     this text\n"
    "SIGINT or SIGTERM stops the module and prints what it saw.\n";



// --usb-module and --replug-serial and --usb-busy; false with *known false for other keys.
namespace {

bool applyUsbSetting(const std::string& key, const std::string& value, Options* options, bool* known,
                     std::string* error) {
  *known = true;
  if (key == "usb-module") {
    simmodule::DeviceOptions parsed;
    bool handled = false;
    if (!simmodule::applyDeviceSetting("behind", value, &parsed, &handled, error) || parsed.behind.empty()) {
      *error = "bad value \"" + value + "\" for usb-module";
      return false;
    }
    options->usbModules.push_back(parsed.behind.front());
    return true;
  }
  if (key == "replug-serial") {
    char* end = nullptr;
    unsigned long serial = strtoul(value.c_str(), &end, 0);
    options->replugSerial = static_cast<uint32_t>(serial);
    if (*end == '\0' && serial != 0 && serial <= 0xFFFFFFFFul) return true;
    *error = "bad value \"" + value + "\" for replug-serial";
    return false;
  }
  if (key == "usb-boot-loader") {
    options->bootLoader = value == "on";
    if (value == "on" || value == "off") return true;
    *error = "bad value \"" + value + "\" for usb-boot-loader";
    return false;
  }
  if (key == "usb-busy") {
    options->usbBusy = value == "on";
    if (value == "on" || value == "off") return true;
    *error = "bad value \"" + value + "\" for usb-busy";
    return false;
  }
  *known = false;
  return false;
}

}  // namespace

bool parseArguments(int argc, char** argv, Options* options) {
  std::string error;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      fputs(kUsage, stdout);
      fputs(kHelp, stdout);
      exit(0);
    }
    if (arg == "--pty") {
      options->pty = true;
      continue;
    }
    if (arg == "--usb") {
      options->usb = true;
      continue;
    }
    if (arg == "--") {
      options->command.assign(argv + i + 1, argv + argc);
      break;
    }
    if (arg.compare(0, 2, "--") != 0 || i + 1 >= argc) {
      fprintf(stderr, "simmodule: unexpected argument \"%s\"\n%s", arg.c_str(), kUsage);
      return false;
    }
    std::string key = arg.substr(2);
    std::string value = argv[++i];
    bool ok = true;
    if (key == "config") {
      ok = simmodule::loadConfigFile(value, &options->module, &options->endpoint, &error);
    } else if (key == "tcp") {
      char* end = nullptr;
      unsigned long port = strtoul(value.c_str(), &end, 10);
      ok = *end == '\0' && port <= 65535;
      options->tcp = ok;
      options->port = static_cast<uint16_t>(port);
      error = "bad port \"" + value + "\"";
    } else if (key == "bind") {
      options->bind = value;
    } else {
      bool usbKey = false;
      ok = applyUsbSetting(key, value, options, &usbKey, &error);
      if (usbKey) {
        if (!ok) {
          fprintf(stderr, "simmodule: %s\n", error.c_str());
          return false;
        }
        continue;
      }
      bool deviceKey = false;
      ok = simmodule::applyDeviceSetting(key, value, &options->device, &deviceKey, &error);
      if (!deviceKey) {
        bool upgradeKey = false;
        ok = simmodule::applyUpgradeSetting(key, value, &options->upgrade, &upgradeKey, &error);
        if (!upgradeKey)
          ok = simmodule::applySetting(key, value, &options->module, &options->endpoint, &error);
      }
    }
    if (!ok) {
      fprintf(stderr, "simmodule: %s\n", error.c_str());
      return false;
    }
  }
  if (options->usb) {
    if (options->tcp || options->pty || options->command.empty()) {
      fprintf(stderr, "simmodule: --usb takes a command after \"--\" and no --tcp or --pty\n%s", kUsage);
      return false;
    }
    return true;
  }
  if (!options->command.empty() || !options->usbModules.empty()) {
    fprintf(stderr, "simmodule: a command and --usb-module go with --usb\n%s", kUsage);
    return false;
  }
  if (!options->tcp && !options->pty) {
    fprintf(stderr, "simmodule: choose --tcp PORT and/or --pty, or --usb\n%s", kUsage);
    return false;
  }
  return true;
}

}  // namespace simmodule_cli
