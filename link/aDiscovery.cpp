// Discovery of modules over USB (through the platform's USB device list) and
// over TCP/IP (a multicast request answered by every module that hears it).
#include "aDiscovery.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "aTime.h"
#include "internal/aDiscoveryInternal.h"
#include "platform/netif.h"
#include "platform/udp.h"
#include "platform/usb.h"
#include "platform/usb_identity.h"

namespace {

// ---- Enumeration bookkeeping shared by both transports -------------------

struct Enumeration {
  aDiscoveryModuleFoundProc callback;
  void* ref;
  unsigned found = 0;

  // Reports one module; false when the caller asked to stop.
  bool report(const linkSpec& spec) {
    bool match = false;
    bool goOn = callback(&spec, &match, ref);
    if (match) ++found;
    return goOn;
  }
  uint8_t count() const { return found > 255 ? 255 : static_cast<uint8_t>(found); }
};

// ---- USB -----------------------------------------------------------------

// Enters each device the platform's USB operation table lists in the walk's
// table.
bool enterUSBDevice(const platform::UsbDeviceInfo* info, void* ref) {
  aDiscovery_AddUSBDevice(static_cast<aUSBModuleTable*>(ref), info);
  return true;
}

// Counts the maker's devices with the link interface this user may not open.
bool countDeniedUSBDevice(const platform::UsbDeviceInfo* info, void* ref) {
  if (info->vendorId == aDISCOVERY_USB_VENDOR && info->hasLinkInterface && info->permissionDenied)
    ++*static_cast<unsigned*>(ref);
  return true;
}

uint8_t enumerateUSB(Enumeration& e) {
  // A bus that cannot be listed lists nothing.
  aUSBModuleTable table;
  platform::usbOps()->enumerate(aDISCOVERY_USB_VENDOR, enterUSBDevice, &table);
  for (size_t i = 0; i < table.count; ++i) {
    linkSpec spec;
    std::memset(&spec, 0, sizeof spec);
    spec.type = LINKTYPE_USB;
    spec.serialNumber = table.entries[i].serialNumber;
    spec.model = table.entries[i].model;
    spec.usbId = spec.serialNumber;
    if (!e.report(spec)) break;
  }
  return e.count();
}

// ---- TCP/IP ----------------------------------------------------------------

uint32_t ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  const uint8_t bytes[4] = {a, b, c, d};
  uint32_t address;
  std::memcpy(&address, bytes, sizeof address);  // network byte order in memory
  return address;
}

// Most local interfaces the request goes out on.
const size_t kMaxInterfaces = 64;
// However busy the answer port, the enumeration ends this long after the request.
const uint32_t kMaxEnumerationMs = 20000;

bool sendRequest(uint32_t interfaceAddress, bool chooseInterface) {
  aUdpSocketRef sock = aUdp_Open();
  if (!sock) return false;
  uint8_t request[aDISCOVERY_MESSAGE_SIZE];
  aDiscovery_MakeRequest(request);
  bool sent = aUdp_SetBroadcast(sock, true) == aErrNone &&
              (!chooseInterface || aUdp_SetMulticastInterface(sock, interfaceAddress) == aErrNone) &&
              aUdp_SendTo(sock, ipv4(232, 2, 2, 2), aDISCOVERY_REQUEST_PORT, request,
                          sizeof request) == aErrNone;
  aUdp_Close(&sock);
  return sent;
}

// Sends the request through every local IPv4 interface but 0 and 127.0.0.1,
// or once through the default interface when the table cannot be read.
bool sendRequests() {
  uint32_t addresses[kMaxInterfaces];
  size_t count = 0;
  if (aNetif_ListIPv4(addresses, kMaxInterfaces, &count) != aErrNone)
    return sendRequest(0, false);
  bool any = false;
  for (size_t i = 0; i < count; ++i) {
    if (addresses[i] == 0 || addresses[i] == ipv4(127, 0, 0, 1)) continue;
    if (sendRequest(addresses[i], true)) any = true;
  }
  return any;
}

// Receives answers until none has come for 2000 ms. Datagrams that are no
// module's answer are dropped and do not prolong the wait.
void receiveAnswers(aUdpSocketRef sock, Enumeration& e) {
  const uint32_t start = aTime_GetMSTicks();
  uint32_t lastAnswer = start;
  for (;;) {
    const uint32_t now = aTime_GetMSTicks();
    uint32_t sinceAnswer = now - lastAnswer;
    uint32_t sinceStart = now - start;
    if (sinceAnswer >= aDISCOVERY_ANSWER_TIMEOUT_MS || sinceStart >= kMaxEnumerationMs) return;
    uint32_t wait = aDISCOVERY_ANSWER_TIMEOUT_MS - sinceAnswer;
    if (wait > kMaxEnumerationMs - sinceStart) wait = kMaxEnumerationMs - sinceStart;
    uint8_t answer[64];
    size_t length = 0;
    uint32_t from = 0;
    aErr err = aUdp_ReceiveFrom(sock, answer, sizeof answer, &length, &from, nullptr, wait);
    if (err == aErrNotReady) continue;
    if (err != aErrNone) return;
    linkSpec spec;
    if (!aDiscovery_DecodeAnswer(answer, length < sizeof answer ? length : sizeof answer, from,
                                 &spec))
      continue;
    lastAnswer = aTime_GetMSTicks();
    if (!e.report(spec)) return;
  }
}

uint8_t enumerateTCPIP(Enumeration& e) {
  aUdpSocketRef answers = aUdp_Open();
  bool listening =
      answers && aUdp_Bind(answers, 0, aDISCOVERY_ANSWER_PORT, true) == aErrNone;
  bool sent = sendRequests();
  if (listening && sent) receiveAnswers(answers, e);
  if (answers) aUdp_Close(&answers);
  return e.count();
}

// ---- Finding one module ----------------------------------------------------

bool takeSerialNumber(const linkSpec* spec, bool* found, void* ref) {
  linkSpec* wanted = static_cast<linkSpec*>(ref);
  if (spec->serialNumber != wanted->serialNumber) return true;
  *wanted = *spec;
  *found = true;
  return false;
}

bool takeFirstNonZero(const linkSpec* spec, bool* found, void* ref) {
  if (spec->serialNumber == 0) return true;
  *static_cast<linkSpec*>(ref) = *spec;
  *found = true;
  return false;
}

linkSpec* findModule(linkType type, uint32_t serialNumber, aDiscoveryModuleFoundProc take) {
  linkSpec* spec = aLinkSpec_Create(type);
  if (!spec) return nullptr;
  spec->serialNumber = serialNumber;
  if (aDiscovery_EnumerateModules(type, take, spec) == 0) aLinkSpec_Destroy(&spec);
  return spec;
}

}  // namespace

// ---- Inner steps -------------------------------------------------------------

bool aDiscovery_ParseUSBSerial(const char* text, uint32_t* serialNumber) {
  return platform::usbParseSerial(text, serialNumber);
}

bool aDiscovery_AddUSBDevice(aUSBModuleTable* table, const platform::UsbDeviceInfo* device) {
  if (!table || !device) return false;
  if (device->vendorId != aDISCOVERY_USB_VENDOR || device->productId > 0xFF || !device->hasLinkInterface)
    return false;
  uint32_t serialNumber;
  if (!aDiscovery_ParseUSBSerial(device->serial, &serialNumber)) return false;
  for (size_t i = 0; i < table->count; ++i) {
    if (table->entries[i].serialNumber == serialNumber) {
      table->entries[i].model = device->productId;
      return true;
    }
  }
  if (table->count >= aDISCOVERY_USB_TABLE_SIZE) return false;
  table->entries[table->count++] = {serialNumber, device->productId};
  return true;
}

bool aDiscovery_DecodeAnswer(const uint8_t* data, size_t length, uint32_t fromAddress,
                             linkSpec* spec) {
  if (!data || !spec || length < aDISCOVERY_MESSAGE_SIZE) return false;
  uint8_t module = data[1];
  if (fromAddress == 0 || module == 0 || (module & 1)) return false;
  std::memset(spec, 0, sizeof *spec);
  spec->type = LINKTYPE_TCPIP;
  spec->module = module;
  spec->router = module;
  spec->ipPort = static_cast<uint32_t>(data[2]) | static_cast<uint32_t>(data[3]) << 8;
  spec->serialNumber = static_cast<uint32_t>(data[4]) | static_cast<uint32_t>(data[5]) << 8 |
                       static_cast<uint32_t>(data[6]) << 16 | static_cast<uint32_t>(data[7]) << 24;
  spec->routerSerialNumber = spec->serialNumber;
  spec->model = data[12];
  spec->ipAddress = fromAddress;
  return true;
}

void aDiscovery_MakeRequest(uint8_t request[aDISCOVERY_MESSAGE_SIZE]) {
  std::memset(request, 0, aDISCOVERY_MESSAGE_SIZE);
  request[0] = 1;
}

// ---- Exported interface ------------------------------------------------------

uint8_t aDiscovery_EnumerateModules(linkType type, aDiscoveryModuleFoundProc callback, void* ref) {
  if (!callback) return 0;
  Enumeration e{callback, ref};
  switch (type) {
    case LINKTYPE_USB:
      return enumerateUSB(e);
    case LINKTYPE_TCPIP:
      return enumerateTCPIP(e);
    default:
      return 0;
  }
}

uint8_t aDiscovery_CountDeniedUSBModules(void) {
  unsigned denied = 0;
  platform::usbOps()->enumerate(aDISCOVERY_USB_VENDOR, countDeniedUSBDevice, &denied);
  return denied > 255 ? 255 : static_cast<uint8_t>(denied);
}

linkSpec* aDiscovery_FindModule(linkType type, uint32_t serialNumber) {
  return findModule(type, serialNumber, takeSerialNumber);
}

linkSpec* aDiscovery_FindFirstModule(linkType type) {
  return findModule(type, 0, takeFirstNonZero);
}

linkSpec* aLinkSpec_Create(linkType type) {
  linkSpec* spec = static_cast<linkSpec*>(std::calloc(1, sizeof(linkSpec)));
  if (spec) spec->type = type;
  return spec;
}

linkSpec* aLinkSpec_Copy(linkSpec spec) {
  linkSpec* copy = static_cast<linkSpec*>(std::malloc(sizeof(linkSpec)));
  if (copy) *copy = spec;
  return copy;
}

aErr aLinkSpec_Destroy(linkSpec** spec) {
  if (!spec || !*spec) return aErrParam;
  std::free(*spec);
  *spec = nullptr;
  return aErrNone;
}
