#ifndef TESTS_USB_USBBED_H
#define TESTS_USB_USBBED_H
// A test bed with simulated modules on its USB bus, for the USB tests.
#include <gtest/gtest.h>

#include <memory>
#include <deque>
#include <vector>

#include "SimModule.h"
#include "SimUpgrade.h"
#include "UsbModulePort.h"
#include "UsbTestbed.h"

// Skips the test when umockdev is missing.
#define SKIP_WITHOUT_UMOCKDEV()                                                        \
  do {                                                                                 \
    if (!simusb::UsbTestbed::available())                                              \
      GTEST_SKIP() << "umockdev (libumockdev-preload) is not installed: USB test skipped"; \
  } while (0)

struct UsbModule {
  std::unique_ptr<simmodule::Simulator> simulator;
  simusb::UsbModulePort* port = nullptr;  // owned by the simulator
};

// One bed for the whole test process: a libusb context in this process
// hears the hot-plug events of the bed it was made in only.
inline simusb::UsbTestbed& sharedTestbed() {
  static simusb::UsbTestbed bed;  // its directory goes when the process ends
  return bed;
}

// The devices a test puts on the shared bed; they leave it with the test.
struct UsbBed {
  simusb::UsbTestbed* bed = &sharedTestbed();
  std::deque<UsbModule> modules;
  std::vector<int> devices;

  // A device answered by gadget; its handle, 0 (with a test failure) on failure.
  int plug(const std::shared_ptr<simusb::UsbGadget>& gadget) {
    const int handle = bed->plug(gadget);
    if (handle == 0) ADD_FAILURE() << "cannot plug a device in: " << bed->error();
    else devices.push_back(handle);
    return handle;
  }

  // A running module on the bus; null (with a test failure) when it cannot be made.
  UsbModule* add(const simmodule::ModuleConfig& config,
                 const simmodule::UpgradeSettings* settings = nullptr) {
    UsbModule module;
    simmodule::EndpointConfig endpoint;
    endpoint.heartbeatMs = 0;
    module.simulator.reset(new simmodule::Simulator(config, endpoint));
    if (settings) simmodule::configureUpgrade(*module.simulator, *settings);
    if (!simusb::attachUsb(*module.simulator, *bed, &module.port) || !module.simulator->start()) {
      ADD_FAILURE() << "cannot put a module on the bus: " << bed->error();
      return nullptr;
    }
    modules.push_back(std::move(module));
    return &modules.back();
  }
  ~UsbBed() {
    for (UsbModule& module : modules) module.simulator->stop();
    for (int handle : devices) bed->unplug(handle);
  }
};

inline simmodule::ModuleConfig moduleConfig(uint32_t serial, uint8_t model, uint8_t address = 2,
                                            uint32_t firmware = 0x10000064, uint32_t build = 100) {
  simmodule::ModuleConfig config;
  config.serialNumber = serial;
  config.model = model;
  config.address = address;
  config.firmwareVersion = firmware;
  config.build = build;
  return config;
}

#endif
