// simmodule: a simulated module on a TCP port, a pseudo-terminal or a
// simulated USB bus (a umockdev test bed with a command running inside it).
#include <atomic>
#include <csignal>
#include <thread>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SimDiscovery.h"
#include "SimModule.h"
#include "SimUpgrade.h"
#include "platform/time.h"

#ifdef SIMMODULE_HAVE_USB
#include "UsbModulePort.h"
#include "UsbRun.h"
#endif
#ifdef SIMMODULE_HAVE_BOOT_LOADER
#include "UsbBootLoader.h"
#endif

namespace {

std::atomic<bool> stopSignal{false};

void onSignal(int) {
  stopSignal = true;
}

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

// --usb-module and --replug-serial and --usb-busy; false with *known false for other keys.
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

void printSummary(const char* name, const simmodule::Stats& s) {
  printf(
      "simmodule: %s: connections %u, link starts %u, stops %u, heartbeats %u (answered %u, wrong %u, missed %u), "
      "resync bursts %u, address queries %u, packets %u, framing errors %u\n",
      name, s.connections, s.linkStarts, s.linkStops, s.heartbeatsSent, s.heartbeatAnswers, s.heartbeatWrong,
      s.heartbeatMissed, s.resyncBursts, s.addressQueries, s.packets, s.framingErrors);
}

}  // namespace

#ifdef SIMMODULE_HAVE_USB
namespace {

// Puts one module on the bus; with absent set it stays off the bus until its
// port is made present.
simusb::UsbModulePort* putOnBus(simusb::UsbTestbed& bed, simmodule::Simulator& simulator, const Options& options,
                                bool absent) {
  const simmodule::ModuleConfig& config = simulator.primary().config();
  std::unique_ptr<simusb::UsbModulePort> port(
      new simusb::UsbModulePort(bed, simusb::moduleIdentity(config.serialNumber, config.model)));
  if (absent) port->setPresent(false);
  else if (!port->plugIn()) return nullptr;
  if (options.replugSerial) {
    char text[9];
    snprintf(text, sizeof text, "%08X", options.replugSerial);
    port->setReplugSerial(text);
  }
  port->setHeldElsewhere(options.usbBusy);
  simusb::UsbModulePort* raw = port.get();
  if (!simulator.attachPort(std::move(port)) || !simulator.start()) return nullptr;
  fprintf(stderr, "simmodule: usb %08X, model %u, firmware 0x%08X, build %u%s\n", config.serialNumber, config.model,
          config.firmwareVersion, config.build, absent ? " (once the boot loader starts it)" : "");
  return raw;
}

#ifdef SIMMODULE_HAVE_BOOT_LOADER
// The boot loader on the bus until it is told to start a loader: then it
// leaves the bus and the module (port) arrives.
class BootLoaderStage {
 public:
  bool start(simusb::UsbTestbed& bed, simusb::UsbModulePort* port) {
    handle_ = bed.plug(loader_.gadget);
    if (handle_ == 0) return false;
    fprintf(stderr, "simmodule: usb boot loader 1FC9:0130\n");
    thread_ = std::thread([this, &bed, port] {
      uint32_t address = 0;
      while (!done_)
        if (loader_.waitForJump(100, &address)) {
          bed.unplug(handle_);
          port->setPresent(true);
          fprintf(stderr, "simmodule: the boot loader started the loader at 0x%08X\n", address);
          return;
        }
    });
    return true;
  }
  ~BootLoaderStage() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  UsbBootLoader loader_;
  int handle_ = 0;
  std::atomic<bool> done_{false};
  std::thread thread_;
};
#endif

}  // namespace
#endif

// The modules on a simulated USB bus, with the command running inside it.
// Notes go to the error stream so that the command's output stays its own.
int runUsb(const Options& options) {
#ifdef SIMMODULE_HAVE_USB
  simusb::UsbTestbed bed;
  if (!bed.ok()) {
    fprintf(stderr, "simmodule: no simulated USB bus: %s\n", bed.error().c_str());
    return 1;
  }
#ifndef SIMMODULE_HAVE_BOOT_LOADER
  if (options.bootLoader) {
    fprintf(stderr, "simmodule: built without the simulated boot loader: no --usb-boot-loader\n");
    return 1;
  }
#endif
  std::vector<simmodule::ModuleConfig> modules = {options.module};
  modules.insert(modules.end(), options.usbModules.begin(), options.usbModules.end());
  std::vector<std::unique_ptr<simmodule::Simulator>> simulators;
  std::vector<simusb::UsbModulePort*> ports;
  for (size_t i = 0; i < modules.size(); ++i) {
    simulators.emplace_back(new simmodule::Simulator(modules[i], options.endpoint));
    simmodule::configureUpgrade(*simulators.back(), options.upgrade);
    if (i == 0) simmodule::addNetworkModules(*simulators.back(), options.device);
    ports.push_back(putOnBus(bed, *simulators.back(), options, i == 0 && options.bootLoader));
    if (!ports.back()) {
      fprintf(stderr, "simmodule: cannot put module %08X on the simulated USB bus: %s\n", modules[i].serialNumber,
              bed.error().c_str());
      return 1;
    }
  }
  int code = 1;
  {
#ifdef SIMMODULE_HAVE_BOOT_LOADER
    BootLoaderStage bootLoader;
    if (options.bootLoader && !bootLoader.start(bed, ports.front())) {
      fprintf(stderr, "simmodule: cannot put the boot loader on the simulated USB bus: %s\n", bed.error().c_str());
      return 1;
    }
#endif
    code = simusb::runInTestbed(bed, options.command);
  }
  for (auto& simulator : simulators) simulator->stop();
  return code;
#else
  (void)options;
  fprintf(stderr, "simmodule: built without umockdev: no --usb\n");
  return 1;
#endif
}

int main(int argc, char** argv) {
  Options options;
  if (!parseArguments(argc, argv, &options))
    return 2;
  if (options.usb) {
#ifdef SIMMODULE_HAVE_USB
    simusb::restartWithPreload(argv);
#endif
    return runUsb(options);
  }
  std::unique_ptr<simmodule::Simulator> tcp, pty;
  std::unique_ptr<simmodule::DiscoveryResponder> discovery;
  if (options.tcp) {
    uint32_t address = 0;
    if (!platform::ipv4Parse(options.bind.c_str(), &address)) {
      fprintf(stderr, "simmodule: bad address \"%s\"\n", options.bind.c_str());
      return 2;
    }
    tcp.reset(new simmodule::Simulator(options.module, options.endpoint));
    simmodule::configureUpgrade(*tcp, options.upgrade);
    if (!tcp->listenTcp(address, options.port) || !tcp->start()) {
      fprintf(stderr, "simmodule: cannot listen on %s:%u\n", options.bind.c_str(), options.port);
      return 1;
    }
    simmodule::addNetworkModules(*tcp, options.device);
    if (options.device.discovery) {
      discovery.reset(new simmodule::DiscoveryResponder(options.module, tcp->tcpPort()));
      discovery->followRestarts(tcp.get());
      if (!discovery->start(address)) {
        fprintf(stderr, "simmodule: cannot answer discovery on %s\n", options.bind.c_str());
        return 1;
      }
    }
    printf("simmodule: tcp %s:%u\n", options.bind.c_str(), tcp->tcpPort());
  }
  if (options.pty) {
    pty.reset(new simmodule::Simulator(options.module, options.endpoint));
    simmodule::configureUpgrade(*pty, options.upgrade);
    if (!pty->openPty() || !pty->start()) {
      fprintf(stderr, "simmodule: cannot open a pseudo-terminal\n");
      return 1;
    }
    printf("simmodule: pty %s\n", pty->ptyPath().c_str());
  }
  printf("simmodule: serial %08X, model %u, address %u, firmware 0x%08X, build %u\n", options.module.serialNumber,
         options.module.model, options.module.address, options.module.firmwareVersion, options.module.build);
  fflush(stdout);
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  while (!stopSignal)
    platform::sleepMilliseconds(50);
  discovery.reset();
  if (tcp) {
    tcp->stop();
    printSummary("tcp", tcp->stats());
  }
  if (pty) {
    pty->stop();
    printSummary("pty", pty->stats());
  }
  return 0;
}
