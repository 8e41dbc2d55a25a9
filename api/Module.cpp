// Module: connection shortcuts, automatic networking and module queries.
#include "Module.h"

#include <cstring>

#include "aTime.h"
#include "protocol/ModuleCodes.h"

namespace Mirovane {
namespace Kelvarion {

namespace {

const int kAddressTries = 4;
const int kAddressPauseMs = 5;

}  // namespace

Module::Module(uint8_t address, uint8_t model) : Module(address, true, model) {}

Module::Module(uint8_t address, bool networkingMode, uint8_t model)
    : link_(std::make_shared<Link>("Link")),
      address_(address),
      networking_(networkingMode),
      model_(model) {}

Module::~Module() = default;

// Learns the module's real address when the networking mode is on.
void Module::learnAddress() {
  if (!networking_ || !link_) return;
  uint8_t address = 0;
  for (int i = 0; i < kAddressTries; ++i) {
    aErr err = link_->getModuleAddress(&address);
    if (err != aErrNotReady) break;
    aTime_MSSleep(kAddressPauseMs);
  }
  if (address != 0 && address != address_) address_ = address;
}

aErr Module::connect(linkType type, uint32_t serialNumber) {
  if (serialNumber == 0) return aErrParam;
  return discoverAndConnect(type, serialNumber);
}

aErr Module::discoverAndConnect(linkType type, uint32_t serialNumber) {
  if (!link_) return aErrInitialization;
  aErr err = link_->discoverAndConnect(type, serialNumber, model_);
  if (err == aErrNone) learnAddress();
  return err;
}

aErr Module::connectFromSpec(const linkSpec& spec) {
  if (!link_) return aErrInitialization;
  if (link_->isConnected()) return aErrBusy;
  aErr err = link_->setLinkSpecifier(spec);
  if (err != aErrNone) return err;
  err = link_->connect();
  if (err == aErrNone) learnAddress();
  return err;
}

aErr Module::connectThroughLinkModule(Module* router) {
  if (!link_) return aErrInitialization;
  if (link_->isConnected()) return aErrBusy;
  if (!router || !router->link_) return aErrNotReady;
  linkSpec spec;
  if (router->link_->getLinkSpecifier(&spec) != aErrNone) return aErrNotFound;
  aErr err = link_->setLinkSpecifier(spec);
  return err != aErrNone ? err : link_->connect();
}

aErr Module::reconnect() {
  if (!link_) return aErrInitialization;
  aErr err = link_->connect();
  if (err == aErrNone) learnAddress();
  return err;
}

aErr Module::disconnect() {
  if (!link_) return aErrInitialization;
  return link_->disconnect();
}

bool Module::isConnected() const { return link_ && link_->isConnected(); }

linkStatus Module::getStatus() const { return link_ ? link_->getStatus() : LINK_QUEUE_ERROR; }

aErr Module::getLinkSpecifier(linkSpec* spec) const {
  if (!link_) return aErrNotReady;
  return link_->getLinkSpecifier(spec);
}

aErr Module::enablePacketLog(const char* path) {
  if (!link_) return aErrConfiguration;
  return link_->enablePacketLog(path);
}

aErr Module::disablePacketLog() {
  if (!link_) return aErrConfiguration;
  return link_->disablePacketLog();
}

// Sends request (its first byte the query code) as command 73 and takes the
// next reply of command 73; the reply must have replyLength bytes and repeat
// the request's first replyLength - 2 bytes; its last byte goes to *answer.
aErr Module::query(const uint8_t* request, uint8_t length, uint8_t replyLength, uint8_t* answer) {
  if (!link_) return aErrResource;
  aErr err = link_->sendPacket(address_, cmdQUERY, length, request);
  if (err != aErrNone) return err;
  uint8_t match = cmdQUERY;
  uint8_t replyBytes = 1;
  uint8_t reply[aPACKET_MAXDATA];
  err = link_->receivePacket(address_, &match, &replyBytes, reply);
  if (err != aErrNone) return err;
  if (replyBytes != replyLength || std::memcmp(reply + 1, request, replyLength - 2u) != 0)
    return aErrUnknown;
  *answer = reply[replyLength - 1];
  return aErrNone;
}

aErr Module::hasUEI(uint8_t command, uint8_t option, uint8_t index, uint8_t flags) {
  if ((flags & ~0xC0) != 0 || flags == 0xC0) return aErrParam;
  const uint8_t request[] = {QUERY_HAS_UEI, command, option, index, flags};
  uint8_t answer = 0;
  // The reply repeats code, command, option and index; its last byte is the answer.
  aErr err = query(request, sizeof request, 6, &answer);
  return err != aErrNone ? err : static_cast<aErr>(answer);
}

aErr Module::classQuantity(uint8_t command, uint8_t* quantity) {
  if (!quantity) return aErrParam;
  *quantity = 0;
  const uint8_t request[] = {QUERY_CLASS_QUANTITY, command};
  return query(request, sizeof request, 4, quantity);
}

aErr Module::subClassQuantity(uint8_t command, uint8_t index, uint8_t* quantity) {
  if (!quantity) return aErrParam;
  *quantity = 0;
  const uint8_t request[] = {QUERY_SUBCLASS_QUANTITY, command, index};
  return query(request, sizeof request, 5, quantity);
}

aErr Module::entityGroup(uint8_t command, uint8_t index, uint8_t* group) {
  if (!group) return aErrParam;
  *group = 0;
  const uint8_t request[] = {QUERY_ENTITY_GROUP, command, index};
  return query(request, sizeof request, 5, group);
}

aErr Module::buildNumber(uint32_t* build) {
  if (!build) return aErrParam;
  *build = 0;
  if (!link_) return aErrResource;
  const uint8_t request[] = {QUERY_BUILD};
  aErr err = link_->sendPacket(address_, cmdQUERY, sizeof request, request);
  if (err != aErrNone) return err;
  // The answer is matched on code and option, so other queries' answers pass by.
  const uint8_t match[] = {cmdQUERY, QUERY_BUILD};
  uint8_t length = sizeof match;
  uint8_t reply[aPACKET_MAXDATA];
  err = link_->receivePacket(address_, match, &length, reply);
  if (err != aErrNone) return err;
  if (length != 6) return aErrUnknown;
  *build = static_cast<uint32_t>(reply[2]) << 24 | static_cast<uint32_t>(reply[3]) << 16 |
           static_cast<uint32_t>(reply[4]) << 8 | reply[5];
  return aErrNone;
}

aErr Module::debug(const uint8_t* data, uint8_t length) {
  if (!link_) return aErrResource;
  if (length && !data) return aErrParam;
  aErr err = link_->sendPacket(address_, cmdDEBUG, length, data);
  if (err != aErrNone) return err;
  uint8_t match = cmdDEBUG;
  uint8_t replyBytes = 1;
  uint8_t reply[aPACKET_MAXDATA];
  err = link_->receivePacket(address_, &match, &replyBytes, reply);
  if (err != aErrNone) return err;
  if (replyBytes != length + 1 || (length && std::memcmp(reply + 1, data, length) != 0)) return aErrIO;
  return aErrNone;
}

}  // namespace Kelvarion
}  // namespace Mirovane
