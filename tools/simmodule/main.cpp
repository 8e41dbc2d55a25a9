// simmodule: a simulated module on a TCP port or a pseudo-terminal.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SimDiscovery.h"
#include "SimModule.h"
#include "SimUpgrade.h"
#include "platform/time.h"

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
    "                 [--absent silent|error]\n";

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
};

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
  if (!options->tcp && !options->pty) {
    fprintf(stderr, "simmodule: choose --tcp PORT and/or --pty\n%s", kUsage);
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

int main(int argc, char** argv) {
  Options options;
  if (!parseArguments(argc, argv, &options))
    return 2;
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
