// The umockdev side of the simulated USB bus: sysfs records and the usbfs
// ioctl handler of each device.
#include "UsbTestbed.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace simusb {

namespace {

const char* const kPreloadLibrary = "libumockdev-preload.so.0";
const char* const kPreloadCandidates[] = {
    "/usr/lib/x86_64-linux-gnu/libumockdev-preload.so.0",
    "/usr/lib/i386-linux-gnu/libumockdev-preload.so.0",
    "/usr/lib/aarch64-linux-gnu/libumockdev-preload.so.0",
    "/usr/lib64/libumockdev-preload.so.0",
    "/usr/lib/libumockdev-preload.so.0",
};
// How long a reap with nothing finished waits before it answers EAGAIN.
// The device node is a plain file, so the host's poll() never waits: this
// wait keeps an idle host from spinning.
const uint32_t kReapWaitMs = 2;

std::string takeString(gchar* text) {
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

}  // namespace

// The handler of one device node. Its callbacks run on umockdev's worker thread.
struct UsbTestbed::Device {
  std::shared_ptr<UsbGadget> gadget;
  UMockdevIoctlBase* handler = nullptr;
  std::string node;
  std::string syspath;
  bool present = true;
  // URBs submitted and not reaped, by (client, address in the client).
  std::map<std::pair<uint64_t, uint64_t>, UMockdevIoctlData*> urbs;

  ~Device() {
    for (auto& entry : urbs) g_object_unref(entry.second);
    if (handler) g_object_unref(handler);
  }
};

namespace {

using Device = UsbTestbed::Device;

uint64_t ownerOf(UMockdevIoctlClient* client) {
  return reinterpret_cast<uintptr_t>(client);
}

void complete(UMockdevIoctlClient* client, int error) {
  umockdev_ioctl_client_complete(client, error ? -1 : 0, error);
}

// The value the ioctl argument points at.
UMockdevIoctlData* resolveArgument(UMockdevIoctlClient* client, size_t size) {
  GError* error = nullptr;
  UMockdevIoctlData* data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, &error);
  if (error) g_error_free(error);
  return data;
}

int capabilities(UMockdevIoctlClient* client) {
  UMockdevIoctlData* data = resolveArgument(client, sizeof(uint32_t));
  if (!data) return EFAULT;
  const uint32_t caps = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
  memcpy(data->data, &caps, sizeof caps);
  g_object_unref(data);
  return 0;
}

bool readUnsigned(UMockdevIoctlClient* client, unsigned* value) {
  UMockdevIoctlData* data = resolveArgument(client, sizeof(unsigned));
  if (!data) return false;
  memcpy(value, data->data, sizeof *value);
  g_object_unref(data);
  return true;
}

int submit(Device& device, UMockdevIoctlClient* client) {
  UMockdevIoctlData* data = resolveArgument(client, sizeof(usbdevfs_urb));
  if (!data) return EFAULT;
  const usbdevfs_urb* header = reinterpret_cast<const usbdevfs_urb*>(data->data);
  Urb urb;
  urb.owner = ownerOf(client);
  urb.id = data->client_addr;
  urb.type = header->type;
  urb.endpoint = header->endpoint;
  urb.length = header->buffer_length > 0 ? static_cast<size_t>(header->buffer_length) : 0;
  const bool carriesOut = urb.type == kUrbControl || (urb.endpoint & 0x80) == 0;
  if (carriesOut && urb.length > 0) {
    GError* error = nullptr;
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer), urb.length, &error);
    if (error) g_error_free(error);
    if (!buffer) {
      g_object_unref(data);
      return EFAULT;
    }
    urb.out.assign(buffer->data, buffer->data + urb.length);
    g_object_unref(buffer);
  }
  const int result = device.gadget->submit(urb);
  if (result != 0) {
    g_object_unref(data);
    return result;
  }
  auto key = std::make_pair(urb.owner, urb.id);
  auto old = device.urbs.find(key);
  if (old != device.urbs.end()) g_object_unref(old->second);
  device.urbs[key] = data;
  return 0;
}

int discard(Device& device, UMockdevIoctlClient* client) {
  // The argument is the URB's address itself.
  UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
  uint64_t id = 0;
  memcpy(&id, argument->data, sizeof(void*));
  return device.gadget->discard(ownerOf(client), id);
}

// Copies the finished URB's status, length and data into the client and
// hands its address back through the argument.
int reap(Device& device, UMockdevIoctlClient* client) {
  UrbDone done;
  const uint64_t owner = ownerOf(client);
  const int result = device.gadget->reap(owner, &done, kReapWaitMs);
  if (result != 0) return result;
  auto it = device.urbs.find(std::make_pair(owner, done.id));
  if (it == device.urbs.end()) return EAGAIN;
  UMockdevIoctlData* data = it->second;
  device.urbs.erase(it);
  usbdevfs_urb* header = reinterpret_cast<usbdevfs_urb*>(data->data);
  header->status = done.status;
  header->actual_length = static_cast<int>(done.actual);
  if (!done.in.empty()) {
    GError* error = nullptr;
    UMockdevIoctlData* buffer =
        umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer), static_cast<size_t>(header->buffer_length), &error);
    if (error) g_error_free(error);
    if (buffer) {
      memcpy(buffer->data, done.in.data(), std::min(done.in.size(), static_cast<size_t>(buffer->data_len)));
      g_object_unref(buffer);
    }
  }
  UMockdevIoctlData* slot = resolveArgument(client, sizeof(void*));
  if (!slot) {
    g_object_unref(data);
    return EFAULT;
  }
  umockdev_ioctl_data_set_ptr(slot, 0, data);
  g_object_unref(slot);
  g_object_unref(data);
  return 0;
}

int handle(Device& device, UMockdevIoctlClient* client) {
  unsigned number = 0;
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  // A device that is gone still hands back the URBs that were out.
  if (device.gadget->unplugged() && request != USBDEVFS_REAPURB && request != USBDEVFS_REAPURBNDELAY)
    return ENODEV;
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: return capabilities(client);
    case USBDEVFS_CLAIMINTERFACE:
      return readUnsigned(client, &number) ? device.gadget->claim(ownerOf(client), number) : EFAULT;
    case USBDEVFS_RELEASEINTERFACE:
      return readUnsigned(client, &number) ? device.gadget->release(ownerOf(client), number) : EFAULT;
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
      return readUnsigned(client, &number) ? device.gadget->clearHalt(static_cast<uint8_t>(number)) : EFAULT;
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL: return ENODATA;  // no kernel driver is bound, none to disconnect
    case USBDEVFS_SUBMITURB: return submit(device, client);
    case USBDEVFS_DISCARDURB: return discard(device, client);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: return reap(device, client);
    default: return ENOTTY;
  }
}

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer ref) {
  complete(client, handle(*static_cast<Device*>(ref), client));
  return TRUE;
}

void onClientVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer ref) {
  Device& device = *static_cast<Device*>(ref);
  const uint64_t owner = ownerOf(client);
  device.gadget->ownerGone(owner);
  for (auto it = device.urbs.begin(); it != device.urbs.end();) {
    if (it->first.first == owner) {
      g_object_unref(it->second);
      it = device.urbs.erase(it);
    } else {
      ++it;
    }
  }
}

// The handler's socket is made by umockdev's worker thread; waits (bounded)
// until it is there.
void waitForHandlerSocket(const std::string& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  struct stat info;
  while (stat(path.c_str(), &info) != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::string findPreloadLibrary() {
  for (const char* path : kPreloadCandidates)
    if (access(path, R_OK) == 0) return path;
  return std::string();
}

}  // namespace

bool UsbTestbed::available() {
  return !findPreloadLibrary().empty();
}

UsbTestbed::UsbTestbed() {
  if (!available()) {
    error_ = std::string("umockdev's preload library ") + kPreloadLibrary + " is not installed";
    return;
  }
  bed_ = reinterpret_cast<_UMockdevTestbed*>(umockdev_testbed_new());
  if (!bed_) error_ = "cannot make a umockdev test bed";
}

UsbTestbed::~UsbTestbed() {
  if (!bed_) return;
  UMockdevTestbed* bed = reinterpret_cast<UMockdevTestbed*>(bed_);
  for (auto& entry : devices_) {
    entry.second->gadget->unplug();
    GError* error = nullptr;
    umockdev_testbed_detach_ioctl(bed, entry.second->node.c_str(), &error);
    if (error) g_error_free(error);
  }
  g_object_unref(bed);
  devices_.clear();
}

std::string UsbTestbed::rootDirectory() const {
  if (!bed_) return std::string();
  return takeString(umockdev_testbed_get_root_dir(reinterpret_cast<UMockdevTestbed*>(bed_)));
}

int UsbTestbed::plug(const std::shared_ptr<UsbGadget>& gadget) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!bed_ || !gadget) return 0;
  UMockdevTestbed* bed = reinterpret_cast<UMockdevTestbed*>(bed_);
  if (nextNumber_ > 127) {
    error_ = "no free USB address left on the simulated bus";
    return 0;
  }
  const unsigned number = nextNumber_++;
  std::unique_ptr<Device> device(new Device);
  device->gadget = gadget;
  device->node = deviceNode(number);
  device->syspath = sysfsPath(number);
  GError* error = nullptr;
  // The handler listens before the device shows in sysfs: a host that scans
  // the bus (rather than waiting for the event) must never find a node
  // whose handler is not there yet.
  device->handler = umockdev_ioctl_base_new();
  g_signal_connect(device->handler, "handle-ioctl", G_CALLBACK(onIoctl), device.get());
  g_signal_connect(device->handler, "client-vanished", G_CALLBACK(onClientVanished), device.get());
  if (!umockdev_testbed_attach_ioctl(bed, device->node.c_str(), device->handler, &error)) {
    error_ = std::string("cannot attach the usbfs handler: ") + (error ? error->message : "?");
    if (error) g_error_free(error);
    return 0;
  }
  waitForHandlerSocket(rootDirectory() + "/ioctl" + device->node);
  if (!umockdev_testbed_add_from_string(bed, sysfsRecord(gadget->identity(), number, number).c_str(), &error)) {
    error_ = std::string("cannot add a USB device: ") + (error ? error->message : "?");
    if (error) g_error_free(error);
    umockdev_testbed_detach_ioctl(bed, device->node.c_str(), nullptr);
    return 0;
  }
  umockdev_testbed_uevent(bed, device->syspath.c_str(), "add");
  const int handle = static_cast<int>(number);
  devices_[handle] = std::move(device);
  return handle;
}

void UsbTestbed::unplug(int handle) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = devices_.find(handle);
  if (!bed_ || it == devices_.end() || !it->second->present) return;
  UMockdevTestbed* bed = reinterpret_cast<UMockdevTestbed*>(bed_);
  Device& device = *it->second;
  device.present = false;
  device.gadget->unplug();
  // The event first, while sysfs still describes the device, then the entries.
  umockdev_testbed_uevent(bed, device.syspath.c_str(), "remove");
  umockdev_testbed_remove_device(bed, device.syspath.c_str());
}

std::string UsbTestbed::node(int handle) const {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = devices_.find(handle);
  return it == devices_.end() ? std::string() : it->second->node;
}

bool UsbTestbed::denyAccess(int handle) {
  const std::string path = node(handle);
  if (path.empty()) return false;
  return chmod((rootDirectory() + path).c_str(), 0) == 0;
}

bool UsbTestbed::inMockEnvironment() {
  return umockdev_in_mock_environment();
}

std::vector<std::string> UsbTestbed::preloadEnvironment() {
  std::vector<std::string> env;
  const std::string library = findPreloadLibrary();
  const char* old = getenv("LD_PRELOAD");
  if (old && strstr(old, "libumockdev-preload")) {
    env.push_back(std::string("LD_PRELOAD=") + old);
  } else {
    env.push_back("LD_PRELOAD=" + library + (old && *old ? std::string(":") + old : std::string()));
  }
  // Sanitised programs want their runtime first in the library list; the
  // preload library comes before it here, which is harmless.
  const char* asan = getenv("ASAN_OPTIONS");
  if (!asan || !strstr(asan, "verify_asan_link_order"))
    env.push_back("ASAN_OPTIONS=" + (asan && *asan ? std::string(asan) + ":" : std::string()) +
                  "verify_asan_link_order=0");
  return env;
}

std::vector<std::string> UsbTestbed::childEnvironment() const {
  std::vector<std::string> env;
  if (!bed_) return env;
  env = preloadEnvironment();
  env.push_back("UMOCKDEV_DIR=" + rootDirectory());
  return env;
}

void UsbTestbed::exportEnvironment() const {
  for (const std::string& entry : childEnvironment()) {
    const size_t equals = entry.find('=');
    setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
  }
}

}  // namespace simusb
