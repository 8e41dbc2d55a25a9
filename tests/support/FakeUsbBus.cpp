#include "FakeUsbBus.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "aDiscovery.h"
#include "platform/usb.h"

using platform::UsbResult;

struct FakeUsbBus::Slot {
  simmodule::ModuleConfig config;
  Setup setup;
  bool present = true;
  int opens = 0;
  std::vector<std::unique_ptr<simmodule::Simulator>> simulators;  // one per open, latest last
};

// One open of a module: the host's end of the socket pair.
struct FakeUsbBus::Device {
  uint32_t serialNumber = 0;
  int socket = -1;
};

FakeUsbBus* FakeUsbBus::current = nullptr;

struct FakeUsbOps {
  static bool enumerate(uint16_t vendorId, platform::UsbVisit visit, void* ref) {
    FakeUsbBus* bus = FakeUsbBus::current;
    std::vector<platform::UsbDeviceInfo> infos;
    {
      std::lock_guard<std::mutex> guard(bus->lock);
      for (const auto& slot : bus->slots_) {
        if (!slot->present) continue;
        platform::UsbDeviceInfo info{};
        info.vendorId = aDISCOVERY_USB_VENDOR;
        info.productId = slot->config.model;
        snprintf(info.serial, sizeof info.serial, "%08X", slot->config.serialNumber);
        info.hasLinkInterface = true;
        if (vendorId == 0 || vendorId == info.vendorId) infos.push_back(info);
      }
    }
    for (const platform::UsbDeviceInfo& info : infos)
      if (!visit(&info, ref)) break;
    return true;
  }

  static UsbResult open(uint32_t serialNumber, platform::UsbDevice** device,
                        platform::UsbEndpoints* endpoints) {
    FakeUsbBus* bus = FakeUsbBus::current;
    std::lock_guard<std::mutex> guard(bus->lock);
    FakeUsbBus::Slot* slot = bus->find(serialNumber);
    if (!slot || !slot->present) return UsbResult::NotFound;
    auto simulator = std::make_unique<simmodule::Simulator>(slot->config);
    const platform::SocketHandle host = simulator->openPair();
    if (host == platform::kNoSocket) return UsbResult::Failed;
    if (slot->setup) slot->setup(*simulator);
    if (!simulator->start()) {
      close(static_cast<int>(host));
      return UsbResult::Failed;
    }
    slot->simulators.push_back(std::move(simulator));
    ++slot->opens;
    auto opened = std::make_unique<FakeUsbBus::Device>();
    opened->serialNumber = serialNumber;
    opened->socket = static_cast<int>(host);
    *device = reinterpret_cast<platform::UsbDevice*>(opened.get());
    bus->devices_.push_back(std::move(opened));
    *endpoints = platform::UsbEndpoints{0x81, 64, 0x02, 64, 0, 0};
    return UsbResult::Ok;
  }

  static FakeUsbBus::Device* deviceOf(platform::UsbDevice* device) {
    return reinterpret_cast<FakeUsbBus::Device*>(device);
  }

  // Whether the module of this open is still on the bus.
  static bool present(FakeUsbBus::Device* device) {
    FakeUsbBus* bus = FakeUsbBus::current;
    std::lock_guard<std::mutex> guard(bus->lock);
    FakeUsbBus::Slot* slot = bus->find(device->serialNumber);
    return slot && slot->present;
  }

  static UsbResult bulkRead(platform::UsbDevice* handle, uint8_t, uint8_t* buffer, size_t size,
                            size_t* received, uint32_t timeoutMs) {
    FakeUsbBus::Device* device = deviceOf(handle);
    *received = 0;
    if (!present(device)) return UsbResult::NoDevice;
    pollfd p{device->socket, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(timeoutMs));
    if (ready == 0) return UsbResult::Timeout;
    if (ready < 0) return errno == EINTR ? UsbResult::Timeout : UsbResult::Failed;
    const ssize_t n = recv(device->socket, buffer, size, 0);
    if (n <= 0) return UsbResult::NoDevice;  // the module went away (restart)
    *received = static_cast<size_t>(n);
    return UsbResult::Ok;
  }

  static UsbResult bulkWrite(platform::UsbDevice* handle, uint8_t, const uint8_t* buffer,
                             size_t size, size_t* sent, uint32_t) {
    FakeUsbBus::Device* device = deviceOf(handle);
    *sent = 0;
    if (!present(device)) return UsbResult::NoDevice;
    while (*sent < size) {
      const ssize_t n = send(device->socket, buffer + *sent, size - *sent, MSG_NOSIGNAL);
      if (n <= 0) return UsbResult::NoDevice;
      *sent += static_cast<size_t>(n);
    }
    return UsbResult::Ok;
  }

  static void closeDevice(platform::UsbDevice* handle) {
    FakeUsbBus* bus = FakeUsbBus::current;
    std::lock_guard<std::mutex> guard(bus->lock);
    for (auto it = bus->devices_.begin(); it != bus->devices_.end(); ++it) {
      if (reinterpret_cast<platform::UsbDevice*>(it->get()) != handle) continue;
      close((*it)->socket);
      bus->devices_.erase(it);
      return;
    }
  }
};

namespace {
const platform::UsbOps kFakeUsbOps = {FakeUsbOps::enumerate, FakeUsbOps::open, FakeUsbOps::bulkRead,
                                      FakeUsbOps::bulkWrite, FakeUsbOps::closeDevice};
}  // namespace

FakeUsbBus::FakeUsbBus() {
  current = this;
  platform::usbSetOps(&kFakeUsbOps);
}

FakeUsbBus::~FakeUsbBus() {
  platform::usbSetOps(nullptr);
  std::vector<std::unique_ptr<Slot>> slots;
  {
    std::lock_guard<std::mutex> guard(lock);
    for (auto& device : devices_) close(device->socket);
    devices_.clear();
    slots.swap(slots_);
  }
  for (auto& slot : slots)
    for (auto& simulator : slot->simulators) simulator->stop();
  current = nullptr;
}

FakeUsbBus::Slot* FakeUsbBus::find(uint32_t serialNumber) const {
  for (const auto& slot : slots_)
    if (slot->config.serialNumber == serialNumber) return slot.get();
  return nullptr;
}

void FakeUsbBus::plug(const simmodule::ModuleConfig& config, Setup setup) {
  std::lock_guard<std::mutex> guard(lock);
  Slot* slot = find(config.serialNumber);
  if (!slot) {
    slots_.push_back(std::make_unique<Slot>());
    slot = slots_.back().get();
  }
  slot->config = config;
  slot->setup = std::move(setup);
  slot->present = true;
}

void FakeUsbBus::unplug(uint32_t serialNumber) {
  std::lock_guard<std::mutex> guard(lock);
  if (Slot* slot = find(serialNumber)) slot->present = false;
}

bool FakeUsbBus::plugged(uint32_t serialNumber) const {
  std::lock_guard<std::mutex> guard(lock);
  const Slot* slot = find(serialNumber);
  return slot && slot->present;
}

int FakeUsbBus::opens(uint32_t serialNumber) const {
  std::lock_guard<std::mutex> guard(lock);
  const Slot* slot = find(serialNumber);
  return slot ? slot->opens : 0;
}

bool FakeUsbBus::withLatest(uint32_t serialNumber,
                            const std::function<void(simmodule::Simulator&)>& f) {
  std::lock_guard<std::mutex> guard(lock);
  Slot* slot = find(serialNumber);
  if (!slot || slot->simulators.empty()) return false;
  f(*slot->simulators.back());
  return true;
}
