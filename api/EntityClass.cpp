// EntityClass: the UEI machinery shared by the entity classes.
#include "EntityClass.h"

#include <cstring>
#include <type_traits>

#include "aUEI.h"

namespace Mirovane {
namespace Kelvarion {

struct EntityBinding {
  EntityClass* entity;
  Module* module;
  uint8_t command;
  uint8_t index;
};

namespace {

// Marks a uei whose reply carried no well-formed value.
const ueiType kNoReplyValue = static_cast<ueiType>(0xFF);

// State of one byte-list transfer, handed to the filter. The uei comes first
// so that receiveUEI can fill in what to match.
struct BytesTransfer {
  uei match;
  uint8_t* buffer;
  uint32_t length;
  uint32_t* count;
  uint8_t expected;  // sequence number awaited
  uint8_t last;      // last data byte of the packet taken
  aErr error;
};
static_assert(std::is_standard_layout<BytesTransfer>::value, "the uei must start the record");

}  // namespace

EntityClass::EntityClass() : binding_(new EntityBinding{this, nullptr, 0, 0}) {}

EntityClass::EntityClass(const EntityClass& other) : binding_(new EntityBinding(*other.binding_)) {
  binding_->entity = this;
}

EntityClass& EntityClass::operator=(const EntityClass& other) {
  if (this != &other) {
    *binding_ = *other.binding_;
    binding_->entity = this;
  }
  return *this;
}

EntityClass::~EntityClass() { delete binding_; }

void EntityClass::init(Module* module, uint8_t command, uint8_t index) {
  binding_->module = module;
  binding_->command = command;
  binding_->index = index;
}

uint8_t EntityClass::getIndex() const { return binding_->index; }
Module* EntityClass::module() const { return binding_->module; }
uint8_t EntityClass::command() const { return binding_->command; }
Link* EntityClass::link() const { return binding_->module ? binding_->module->getLink() : nullptr; }

// ---- Raw packets -------------------------------------------------------------

aErr EntityClass::sendPacket(uint8_t command, uint8_t length, const uint8_t* data) {
  Link* l = link();
  if (!l) return aErrResource;
  return l->sendPacket(binding_->module->getModuleAddress(), command, length, data);
}

aErr EntityClass::receivePacket(const uint8_t* match, uint8_t* length, uint8_t* data) {
  Link* l = link();
  if (!l) return aErrResource;
  return l->receivePacket(binding_->module->getModuleAddress(), match, length, data);
}

// ---- UEI exchanges ---------------------------------------------------------------

// Sends value with requestOption and takes the reply with replyOption: a
// module's error reply gives its code.
aErr EntityClass::exchange(uint8_t requestOption, uint8_t replyOption, const uint8_t* subindex,
                           uei* value) {
  Link* l = link();
  uint8_t address = binding_->module->getModuleAddress();
  value->module = address;
  value->command = binding_->command;
  value->option = requestOption;
  value->specifier = static_cast<uint8_t>(binding_->index | UEI_SPECIFIER_REQUEST);
  aErr err = subindex ? l->sendUEI(*value, *subindex) : l->sendUEI(*value);
  if (err != aErrNone) return err;
  // The reply filter leaves the type alone for a reply whose length carries
  // no value of 0, 1, 2 or 4 bytes; such a reply must not pass for a value.
  value->type = kNoReplyValue;
  err = l->receiveUEI(address, binding_->command, replyOption, binding_->index, value);
  if (err != aErrNone) return err;
  if (value->specifier & UEI_SPECIFIER_ERROR) return value->value.byteVal;
  return value->type == kNoReplyValue ? aErrPacket : aErrNone;
}

aErr EntityClass::getUEI(uint8_t option, uei* value) {
  Link* l = link();
  if (!l) return aErrResource;
  if (!value) return aErrParam;
  uint8_t subindex = value->type == UEI_TYPE_BYTE ? value->value.byteVal : 0;
  uint32_t cached = 0;
  aErr err = l->getStreamValue(binding_->module->getModuleAddress(), binding_->command, option,
                               binding_->index, subindex, &cached);
  if (err != aErrNotFound) {
    if (err == aErrNone || err == aErrStreamStale) value->value.intVal = cached;
    return err;
  }
  return exchange(static_cast<uint8_t>(option | UEI_OPTION_GET), option, nullptr, value);
}

aErr EntityClass::setUEI(uint8_t option, uei* value) {
  if (!link()) return aErrResource;
  if (!value) return aErrParam;
  return exchange(static_cast<uint8_t>(option | UEI_OPTION_SET),
                  static_cast<uint8_t>(option | UEI_OPTION_SET_REPLY), nullptr, value);
}

aErr EntityClass::setUEI(uint8_t option, uint8_t subindex, uei* value) {
  if (!link()) return aErrResource;
  if (!value) return aErrParam;
  return exchange(static_cast<uint8_t>(option | UEI_OPTION_SET),
                  static_cast<uint8_t>(option | UEI_OPTION_SET_REPLY), &subindex, value);
}

namespace {

uei valueOf(ueiType type, uint32_t v) {
  uei u{};
  u.type = type;
  if (type == UEI_TYPE_BYTE) u.value.byteVal = static_cast<uint8_t>(v);
  else if (type == UEI_TYPE_SHORT) u.value.shortVal = static_cast<uint16_t>(v);
  else u.value.intVal = v;
  return u;
}

}  // namespace

aErr EntityClass::callUEI(uint8_t option) {
  uei u = valueOf(UEI_TYPE_NONE, 0);
  return setUEI(option, &u);
}

aErr EntityClass::setUEI8(uint8_t option, uint8_t value) {
  uei u = valueOf(UEI_TYPE_BYTE, value);
  return setUEI(option, &u);
}

aErr EntityClass::setUEI16(uint8_t option, uint16_t value) {
  uei u = valueOf(UEI_TYPE_SHORT, value);
  return setUEI(option, &u);
}

aErr EntityClass::setUEI32(uint8_t option, uint32_t value) {
  uei u = valueOf(UEI_TYPE_INT, value);
  return setUEI(option, &u);
}

aErr EntityClass::setUEI8(uint8_t option, uint8_t subindex, uint8_t value) {
  uei u = valueOf(UEI_TYPE_BYTE, value);
  return setUEI(option, subindex, &u);
}

aErr EntityClass::setUEI32(uint8_t option, uint8_t subindex, uint32_t value) {
  uei u = valueOf(UEI_TYPE_INT, value);
  return setUEI(option, subindex, &u);
}

namespace {

// Runs a get and delivers the value, cut to T, on success or a stale value.
template <typename T>
aErr deliver(aErr err, const uei& u, T* out) {
  if (err == aErrNone || err == aErrStreamStale) *out = static_cast<T>(u.value.intVal);
  return err;
}

}  // namespace

aErr EntityClass::getUEI8(uint8_t option, uint8_t* value) {
  if (!value) return aErrParam;
  uei u{};
  return deliver(getUEI(option, &u), u, value);
}

aErr EntityClass::getUEI16(uint8_t option, uint16_t* value) {
  if (!value) return aErrParam;
  uei u{};
  return deliver(getUEI(option, &u), u, value);
}

aErr EntityClass::getUEI32(uint8_t option, uint32_t* value) {
  if (!value) return aErrParam;
  uei u{};
  return deliver(getUEI(option, &u), u, value);
}

aErr EntityClass::getUEI8(uint8_t option, uint8_t subindex, uint8_t* value) {
  if (!value) return aErrParam;
  uei u = valueOf(UEI_TYPE_BYTE, subindex);
  return deliver(getUEI(option, &u), u, value);
}

aErr EntityClass::getUEI16(uint8_t option, uint8_t subindex, uint16_t* value) {
  if (!value) return aErrParam;
  uei u = valueOf(UEI_TYPE_BYTE, subindex);
  return deliver(getUEI(option, &u), u, value);
}

aErr EntityClass::getUEI32(uint8_t option, uint8_t subindex, uint32_t* value) {
  if (!value) return aErrParam;
  uei u = valueOf(UEI_TYPE_BYTE, subindex);
  return deliver(getUEI(option, &u), u, value);
}

aErr EntityClass::getUEIi32(uint8_t option, int32_t* value) {
  if (!value) return aErrParam;
  uei u{};
  return deliver(getUEI(option, &u), u, value);
}

aErr EntityClass::getUEIi32(uint8_t option, uint8_t subindex, int32_t* value) {
  if (!value) return aErrParam;
  uei u = valueOf(UEI_TYPE_BYTE, subindex);
  return deliver(getUEI(option, &u), u, value);
}

aErr EntityClass::awaitUEI32Val(uint8_t option, uint32_t* value, uint32_t) {
  if (!value) return aErrParam;
  Link* l = link();
  if (!l) return aErrResource;
  uei u{};
  aErr err = l->receiveUEI(binding_->module->getModuleAddress(), binding_->command, option,
                           binding_->index, &u);
  if (err != aErrNone) return err;
  if (u.specifier & UEI_SPECIFIER_ERROR) return u.value.byteVal;
  *value = u.value.intVal;
  return aErrNone;
}

aErr EntityClass::drainUEI(uint8_t option) {
  Link* l = link();
  if (!l) return aErrResource;
  return l->dropMatchingUEIPackets(binding_->module->getModuleAddress(), binding_->command, option,
                                   binding_->index);
}

// ---- Byte lists ------------------------------------------------------------------

uint8_t EntityClass::sUEIBytesFilter(const aPacket* packet, const void* ref) {
  BytesTransfer* t = static_cast<BytesTransfer*>(const_cast<void*>(ref));
  const uei& m = t->match;
  if (packet->address != m.module || packet->dataSize < 3) return 0;
  if (packet->data[0] != m.command || packet->data[1] != m.option) return 0;
  if ((packet->data[2] & UEI_INDEX_MASK) != (m.specifier & UEI_INDEX_MASK)) return 0;
  if (packet->data[2] & UEI_SPECIFIER_ERROR) {
    t->error = packet->dataSize > 3 ? static_cast<aErr>(packet->data[3]) : static_cast<aErr>(aErrUnknown);
    t->last = 0;
    return 1;
  }
  // Data bytes sit between the specifier and the sequence byte, so a packet
  // needs at least the sequence byte.
  if (packet->dataSize < 4) return 0;
  uint8_t last = packet->data[packet->dataSize - 1];
  if (getUEIBytesSequence(last) != t->expected) return 0;
  uint32_t n = packet->dataSize - 4u;
  if (n > t->length - *t->count) {
    t->error = aErrMemory;
  } else {
    std::memcpy(t->buffer + *t->count, packet->data + 3, n);
    *t->count += n;
  }
  t->last = last;
  return 1;
}

aErr EntityClass::getUEIBytes8(uint8_t option, uint8_t* buffer, uint32_t length, uint32_t* count) {
  if (!buffer || !count || length == 0) return aErrParam;
  Link* l = link();
  if (!l) return aErrResource;
  if (*count > length) return aErrParam;
  uint8_t address = binding_->module->getModuleAddress();
  uei request{};
  request.module = address;
  request.command = binding_->command;
  request.option = static_cast<uint8_t>(option | UEI_OPTION_GET);
  request.specifier = static_cast<uint8_t>(binding_->index | UEI_SPECIFIER_REQUEST);
  aErr err = l->sendUEI(request);
  if (err != aErrNone) return err;
  BytesTransfer t{};
  t.buffer = buffer;
  t.length = length;
  t.count = count;
  // A list ends with a packet whose continue flag is clear; one that goes on
  // past what the buffer could hold is cut off.
  const uint32_t maxPackets = length + 128;
  for (uint32_t packets = 0; packets < maxPackets; ++packets) {
    t.error = aErrNone;
    err = l->receiveUEI(address, binding_->command, option, binding_->index, &t.match,
                        sUEIBytesFilter);
    if (err != aErrNone) return err;
    if (t.error != aErrNone) return t.error;
    if (!getUEIBytesContinue(t.last)) return aErrNone;
    t.expected = static_cast<uint8_t>(getUEIBytesSequence(t.last) + 1) & 0x7F;
  }
  return aErrOverrun;
}

aErr EntityClass::getUEIBytes32(uint8_t option, uint32_t* buffer, uint32_t length, uint32_t* count) {
  if (!buffer || !count || length == 0 || length > 0x3FFFFFFF) return aErrParam;
  uint32_t bytes = 0;
  aErr err = getUEIBytes8(option, reinterpret_cast<uint8_t*>(buffer), length * 4, &bytes);
  if (err == aErrNone && bytes % 4 != 0) err = aErrParse;
  if (err != aErrNone) {
    *count = 0;
    return err;
  }
  *count = bytes / 4;
  return aUEI_ModifyIntBuffer(buffer, *count);
}

// ---- Streams ---------------------------------------------------------------------

aErr EntityClass::setStreamEnabled(bool enable) {
  Link* l = link();
  if (!l) return aErrResource;
  return l->registerStreamCallback(binding_->module->getModuleAddress(), binding_->command,
                                   Link::STREAM_WILDCARD, binding_->index, enable, nullptr, nullptr);
}

aErr EntityClass::registerOptionCallback(uint8_t option, bool enable, streamCallback callback,
                                         void* ref) {
  Link* l = link();
  if (!l) return aErrResource;
  return l->registerStreamCallback(binding_->module->getModuleAddress(), binding_->command, option,
                                   binding_->index, enable, callback, ref);
}

aErr EntityClass::getStreamStatus(std::map<uint64_t, uint32_t>* status) {
  Link* l = link();
  if (!l) return aErrResource;
  return l->getStreamStatus(binding_->module->getModuleAddress(), binding_->command,
                            Link::STREAM_WILDCARD, binding_->index, Link::STREAM_WILDCARD, status);
}

}  // namespace Kelvarion
}  // namespace Mirovane
