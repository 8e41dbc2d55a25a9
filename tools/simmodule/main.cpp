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

#include "SimCommandLine.h"
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

using simmodule_cli::Options;
using simmodule_cli::parseArguments;

namespace {

std::atomic<bool> stopSignal{false};

void onSignal(int) {
  stopSignal = true;
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
