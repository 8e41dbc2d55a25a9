#ifndef TESTS_SUPPORT_FAKEUSBBUS_H
#define TESTS_SUPPORT_FAKEUSBBUS_H
// A fake USB bus with simulated modules on it, for in-process tests of code
// that reaches modules over USB. While a FakeUsbBus lives it is the table of
// USB operations the library uses (platform::usbSetOps): enumeration lists the
// plugged modules (the maker's vendor ID, the model in the product ID, the
// serial number as "%08X"), and each open of a module starts a fresh
// simulated module (tools/simmodule) behind an in-process socket pair, so a
// module opened again (after a reset, or by the next Module) is a new
// connection to a restarted module. Modules can be plugged and unplugged from
// any thread, also from a simulator's callbacks.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "SimModule.h"

class FakeUsbBus {
 public:
  // Runs on each fresh simulated module before it starts (to seed values and
  // install families).
  using Setup = std::function<void(simmodule::Simulator& simulator)>;

  FakeUsbBus();
  ~FakeUsbBus();
  FakeUsbBus(const FakeUsbBus&) = delete;
  FakeUsbBus& operator=(const FakeUsbBus&) = delete;

  void plug(const simmodule::ModuleConfig& config, Setup setup = Setup());
  void unplug(uint32_t serialNumber);
  bool plugged(uint32_t serialNumber) const;
  // Times a module with this serial number was opened.
  int opens(uint32_t serialNumber) const;
  // Runs f on the simulator of the module's latest connection (under the
  // bus's lock); false when the module was never opened.
  bool withLatest(uint32_t serialNumber, const std::function<void(simmodule::Simulator&)>& f);

  // The bus whose table is installed (one at a time).
  static FakeUsbBus* current;

 private:
  struct Slot;
  struct Device;
  mutable std::mutex lock;
  Slot* find(uint32_t serialNumber) const;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<std::unique_ptr<Device>> devices_;

  friend struct FakeUsbOps;
};

#endif
