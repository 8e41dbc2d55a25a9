// The simulated module's USB endpoint.
#include "UsbModulePort.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace simusb {

namespace {

// One claim of the link interface, carrying bytes to and from the module.
class UsbChannel : public simmodule::Channel {
 public:
  UsbChannel(UsbModulePort& port, std::shared_ptr<UsbGadget> gadget, uint64_t connection)
      : port_(port), gadget_(std::move(gadget)), connection_(connection) {}

  long read(uint8_t* buffer, size_t size, uint32_t timeoutMs) override {
    return gadget_->readFromHost(connection_, buffer, size, timeoutMs);
  }
  bool write(const uint8_t* bytes, size_t count) override {
    return gadget_->writeToHost(connection_, bytes, count);
  }
  // A module ends its link by leaving the bus; a host that has let go
  // already leaves the device where it is.
  void close(bool) override { port_.dropConnection(connection_); }
  bool canDrop() const override { return true; }

 private:
  UsbModulePort& port_;
  std::shared_ptr<UsbGadget> gadget_;
  uint64_t connection_;
};

}  // namespace

UsbModulePort::UsbModulePort(UsbTestbed& bed, const UsbIdentity& identity) : bed_(bed), identity_(identity) {}

UsbModulePort::~UsbModulePort() {
  std::lock_guard<std::mutex> guard(lock_);
  unplugLocked();
}

bool UsbModulePort::plugIn() {
  std::lock_guard<std::mutex> guard(lock_);
  return plugLocked();
}

bool UsbModulePort::plugLocked() {
  if (gadget_ && !gadget_->unplugged()) return true;
  UsbIdentity identity = identity_;
  if (plugs_ > 0 && !replugSerial_.empty()) identity.serial = replugSerial_;
  auto gadget = std::make_shared<UsbGadget>(identity);
  gadget->setHeldElsewhere(heldElsewhere_);
  const int handle = bed_.plug(gadget);
  if (handle == 0) {
    if (!plugFailed_) fprintf(stderr, "simmodule: cannot plug module %s in: %s\n", identity.serial.c_str(), bed_.error().c_str());
    plugFailed_ = true;
    return false;
  }
  plugFailed_ = false;
  gadget_ = gadget;
  handle_ = handle;
  ++plugs_;
  return true;
}

void UsbModulePort::unplugLocked() {
  if (gadget_ && !gadget_->unplugged()) bed_.unplug(handle_);
}

void UsbModulePort::setReplugSerial(const std::string& serial) {
  std::lock_guard<std::mutex> guard(lock_);
  replugSerial_ = serial;
}

void UsbModulePort::setHeldElsewhere(bool held) {
  std::lock_guard<std::mutex> guard(lock_);
  heldElsewhere_ = held;
  if (gadget_) gadget_->setHeldElsewhere(held);
}

void UsbModulePort::pullOut() {
  std::lock_guard<std::mutex> guard(lock_);
  present_ = false;
  unplugLocked();
}

std::shared_ptr<UsbGadget> UsbModulePort::gadget() const {
  std::lock_guard<std::mutex> guard(lock_);
  return gadget_ && !gadget_->unplugged() ? gadget_ : nullptr;
}

bool UsbModulePort::denyAccess() {
  std::lock_guard<std::mutex> guard(lock_);
  return handle_ != 0 && bed_.denyAccess(handle_);
}

unsigned UsbModulePort::plugs() const {
  std::lock_guard<std::mutex> guard(lock_);
  return plugs_;
}

std::unique_ptr<simmodule::Channel> UsbModulePort::accept(uint32_t timeoutMs) {
  std::shared_ptr<UsbGadget> gadget;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (present_) plugLocked();
    gadget = present_ ? gadget_ : nullptr;
  }
  if (!gadget || gadget->unplugged()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return nullptr;
  }
  const uint64_t connection = gadget->waitForConnection(timeoutMs);
  if (connection == 0) return nullptr;
  return std::unique_ptr<simmodule::Channel>(new UsbChannel(*this, gadget, connection));
}

void UsbModulePort::setPresent(bool present) {
  std::lock_guard<std::mutex> guard(lock_);
  present_ = present;
  if (!present) unplugLocked();
}

void UsbModulePort::dropConnection(uint64_t connection) {
  std::lock_guard<std::mutex> guard(lock_);
  if (gadget_ && gadget_->waitForConnection(0) == connection) unplugLocked();
}

bool attachUsb(simmodule::Simulator& simulator, UsbTestbed& bed, UsbModulePort** port) {
  const simmodule::ModuleConfig& config = simulator.primary().config();
  std::unique_ptr<UsbModulePort> owned(new UsbModulePort(bed, moduleIdentity(config.serialNumber, config.model)));
  if (!owned->plugIn()) return false;
  UsbModulePort* raw = owned.get();
  if (!simulator.attachPort(std::move(owned))) return false;
  if (port) *port = raw;
  return true;
}

}  // namespace simusb
