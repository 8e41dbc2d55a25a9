// Link: connection, discovery, raw packets, the module-address query and the
// packet log. UEI exchanges are in LinkUEI.cpp, store slots and factory data
// in LinkStore.cpp, the stream facility in LinkStream.cpp.
#include <cstring>

#include "internal/LinkState.h"
#include "aFile.h"
#include "aTime.h"
#include "protocol/ModuleCodes.h"

namespace Mirovane {
namespace Kelvarion {

namespace {

const int kConnectPolls = 200;
const int kConnectPollMs = 10;

void sleepMs(uint32_t ms) { aTime_MSSleep(ms); }

bool isModuleAddress(uint8_t module) { return module != 0 && (module & 1) == 0; }

// Waits for a new or existing packet link to run.
aErr awaitRunning(aLinkRef link) {
  switch (aLink_GetStatus(link)) {
    case LINK_RUNNING:
      return aErrNone;
    case LINK_STOPPED:
    case LINK_STARTING:
    case LINK_RESYNCING:
      for (int i = 0; i < kConnectPolls; ++i) {
        if (aLink_GetStatus(link) == LINK_RUNNING) return aErrNone;
        sleepMs(kConnectPollMs);
      }
      return aLink_GetStatus(link) == LINK_RUNNING ? aErrNone : aErrConnection;
    case LINK_STOPPING:
      return aErrBusy;
    case LINK_INVALID:
    case LINK_READ_ERROR:
    case LINK_QUEUE_ERROR:
      return aErrConnection;
    default:
      return aErrDuplicate;
  }
}

struct DiscoverChoice {
  uint32_t serialNumber;
  uint8_t model;
  linkSpec spec;
};

bool chooseModule(const linkSpec* spec, bool* found, void* ref) {
  DiscoverChoice* choice = static_cast<DiscoverChoice*>(ref);
  bool wanted = choice->serialNumber != 0 ? spec->serialNumber == choice->serialNumber
                                          : choice->model == 0 || spec->model == choice->model;
  if (!wanted) return true;
  choice->spec = *spec;
  *found = true;
  return false;
}

// A packet with no data: the answer to the module-address query.
uint8_t emptyPacket(const aPacket* packet, const void*) { return packet->dataSize == 0; }

struct PacketMatch {
  const uint8_t* bytes;
  uint8_t length;
};

uint8_t leadingBytesMatch(const aPacket* packet, const void* ref) {
  const PacketMatch* m = static_cast<const PacketMatch*>(ref);
  if (packet->dataSize < m->length) return 0;
  return m->length == 0 || std::memcmp(packet->data, m->bytes, m->length) == 0;
}

// The packet-log writer, run over and over by the logger thread: one record
// per call as "<length> <direction> <bytes>\r\n", or a 5 ms pause when the
// log has nothing (or cannot be read).
void packetLogWriter(aFileRef file, aLinkRef link) {
  uint8_t direction = 0;
  uint32_t length = 64;
  uint8_t buffer[64];
  if (aLink_PacketDebug_Read(link, &direction, &length, buffer) != aErrNone) {
    sleepMs(5);
    return;
  }
  aFile_Printf(file, "%d %s ", static_cast<int>(length), direction == aLINK_LOG_SENT ? ">" : "<");
  for (uint32_t i = 0; i < length; ++i) {
    if (direction == aLINK_LOG_TEXT) aFile_Printf(file, "%c", buffer[i]);
    else aFile_Printf(file, "0x%X ", buffer[i]);
  }
  aFile_Printf(file, "\r\n");
}

}  // namespace

// ---- State -------------------------------------------------------------------

LinkState::LinkState(Link* owner, const std::string& name)
    : owner(owner), name(name.substr(0, Link::MAX_NAME)) {}

LinkState::~LinkState() {
  stopStreaming();
  if (link) aLink_Destroy(&link);
  if (logger) aLogger_Destroy(&logger);
  platform::wakeupDestroy(workSignal);
}

// ---- Construction and discovery ----------------------------------------------

Link::Link(const std::string& name) : state_(std::make_shared<LinkState>(this, name)) {}

Link::Link(const linkSpec& spec, const std::string& name) : Link(name) {
  state_->spec.reset(new linkSpec(spec));
}

Link::~Link() = default;

aErr Link::sDiscover(linkType type, aDiscoveryModuleFoundProc callback, void* ref) {
  return aDiscovery_EnumerateModules(type, callback, ref) == 0 ? aErrNotFound : aErrNone;
}

bool Link::sFindAll(const linkSpec* spec, bool* found, void* ref) {
  static_cast<std::list<linkSpec>*>(ref)->push_back(*spec);
  *found = true;
  return true;
}

aErr Link::sDiscover(linkType type, std::list<linkSpec>& specs) {
  return sDiscover(type, sFindAll, &specs);
}

// ---- Connection ------------------------------------------------------------

aErr Link::connect() {
  LinkState& s = *state_;
  bool created = false;
  if (!s.link) {
    if (!s.spec) return aErrConfiguration;
    if (s.spec->type == LINKTYPE_USB) {
      s.link = aLink_CreateUSB(s.spec->serialNumber);
    } else if (s.spec->type == LINKTYPE_TCPIP && s.spec->ipPort <= 0xFFFF) {
      s.link = aLink_CreateTCPIP(s.spec->ipAddress, static_cast<uint16_t>(s.spec->ipPort));
    }
    if (!s.link) return aErrConnection;
    created = true;
  }
  aErr err = awaitRunning(s.link);
  // A packet link this call made and that never ran is not kept: a later
  // connect must try the endpoint afresh rather than find a dead link.
  if (err != aErrNone && created) aLink_Destroy(&s.link);
  return err;
}

aErr Link::discoverAndConnect(linkType type, uint32_t serialNumber, uint8_t model) {
  DiscoverChoice choice{serialNumber, model, {}};
  if (aDiscovery_EnumerateModules(type, chooseModule, &choice) == 0) return aErrNotFound;
  aErr err = setLinkSpecifier(choice.spec);
  if (err != aErrNone) return err;
  return connect();
}

linkStatus Link::getStatus() const {
  return state_->link ? aLink_GetStatus(state_->link) : LINK_QUEUE_ERROR;
}

bool Link::isConnected() const {
  linkStatus status = getStatus();
  return status == LINK_STARTING || status == LINK_RUNNING;
}

aLinkRef Link::connectedLink() const { return isConnected() ? state_->link : 0; }

aErr Link::disconnect() {
  LinkState& s = *state_;
  // Streams and the packet log belong to the packet link that goes away.
  s.stopStreaming();
  if (s.logger) aLogger_Destroy(&s.logger);
  if (s.link) aLink_Destroy(&s.link);
  return aErrNone;
}

aErr Link::reset() {
  if (state_->link) aLink_Reset(state_->link);
  return aErrNone;
}

aErr Link::getModuleAddress(uint8_t* address) {
  if (!address) return aErrParam;
  *address = 0;
  aLinkRef link = connectedLink();
  if (!link) return aErrNotReady;
  aPacket* query = aPacket_CreateWithData(MODULE_ADDRESS_QUERY, 0, nullptr);
  if (!query) return aErrResource;
  aErr err = aLink_PutPacket(link, query);
  aPacket_Destroy(&query);
  if (err != aErrNone) return err;
  aPacket* reply = aLink_AwaitFirst(link, emptyPacket, nullptr, kReplyWaitMs);
  if (!reply) return aErrNotReady;
  *address = reply->address;
  aPacket_Destroy(&reply);
  return aErrNone;
}

const char* Link::getName() const { return state_->name.c_str(); }

aErr Link::getLinkSpecifier(linkSpec* spec) const {
  if (!spec) return aErrParam;
  if (!state_->spec) return aErrNotFound;
  *spec = *state_->spec;
  return aErrNone;
}

aErr Link::setLinkSpecifier(const linkSpec& spec) {
  if (isConnected()) return aErrBusy;
  state_->spec.reset(new linkSpec(spec));
  return aErrNone;
}

// ---- Module addresses --------------------------------------------------------

aErr Link::checkModule(uint8_t module, aLinkRef* link) const {
  *link = connectedLink();
  if (!*link) return aErrConnection;
  if (!isModuleAddress(module)) return aErrPacket;
  return aErrNone;
}

// ---- Raw packets ---------------------------------------------------------------

aErr Link::sendPacket(uint8_t module, uint8_t command, uint8_t length, const uint8_t* data) {
  aLinkRef link;
  aErr err = checkModule(module, &link);
  if (err != aErrNone) return err;
  if (length > aPACKET_MAXDATA - 1 || (length && !data)) return aErrParam;
  uint8_t bytes[aPACKET_MAXDATA];
  bytes[0] = command;
  if (length) std::memcpy(bytes + 1, data, length);
  aPacket* packet = aPacket_CreateWithData(module, static_cast<uint8_t>(length + 1), bytes);
  if (!packet) return aErrResource;
  err = aLink_PutPacket(link, packet);
  aPacket_Destroy(&packet);
  return err;
}

aErr Link::awaitPacket(ueiPacketFilter match, const void* ref, uint32_t timeoutMs) {
  if (!match) return aErrParam;
  aLinkRef link = connectedLink();
  if (!link) return aErrConnection;
  aPacket* packet = aLink_AwaitFirst(link, match, ref, timeoutMs);
  if (!packet) return aErrTimeout;
  aPacket_Destroy(&packet);
  return aErrNone;
}

aErr Link::receivePacket(uint8_t module, const uint8_t* match, uint8_t* length, uint8_t* data) {
  aLinkRef link;
  aErr err = checkModule(module, &link);
  if (err != aErrNone) return err;
  if (!length || !data || *length > aPACKET_MAXDATA || (*length && !match)) return aErrParam;
  PacketMatch m{match, *length};
  aPacket* packet = aLink_AwaitFirst(link, leadingBytesMatch, &m, kReplyWaitMs);
  if (!packet) return aErrTimeout;
  *length = packet->dataSize;
  std::memcpy(data, packet->data, packet->dataSize);
  aPacket_Destroy(&packet);
  return aErrNone;
}

// ---- Packet log ------------------------------------------------------------------

aErr Link::enablePacketLog(const char* path) {
  LinkState& s = *state_;
  if (!s.link) return aErrConfiguration;
  aErr err = aLink_PacketDebug_Enable(s.link);
  if (err != aErrNone) return err;
  if (!s.logger) {
    s.logger = aLogger_Create(s.link, packetLogWriter, path);
    if (!s.logger) return aErrResource;
  }
  err = aLogger_Enable(s.logger);
  if (err == aErrNone) {
    static const char kStart[] = "START";
    err = aLink_PacketDebug_Write(s.link, aLINK_LOG_TEXT, sizeof kStart - 1,
                                  reinterpret_cast<const uint8_t*>(kStart));
  }
  return err;
}

aErr Link::disablePacketLog() {
  LinkState& s = *state_;
  if (!s.link) return aErrConfiguration;
  aErr err = aLink_PacketDebug_Disable(s.link);
  aErr loggerErr = s.logger ? aLogger_Disable(s.logger) : aErrNone;
  return err != aErrNone ? err : loggerErr;
}

}  // namespace Kelvarion
}  // namespace Mirovane
