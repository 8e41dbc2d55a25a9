// Link: UEI exchanges, a value sent to a module's command and option, and
// the module's reply to it claimed from the packet link.
#include <cstring>

#include "internal/LinkState.h"

namespace Mirovane {
namespace Kelvarion {

namespace {

// Appends the value of the UEI's type, most significant byte first.
uint8_t putValue(const uei& value, uint8_t* data, uint8_t length) {
  switch (value.type) {
    case UEI_TYPE_BYTE:
      data[length++] = value.value.byteVal;
      break;
    case UEI_TYPE_SHORT:
      data[length++] = static_cast<uint8_t>(value.value.shortVal >> 8);
      data[length++] = static_cast<uint8_t>(value.value.shortVal);
      break;
    case UEI_TYPE_INT:
      for (int shift = 24; shift >= 0; shift -= 8)
        data[length++] = static_cast<uint8_t>(value.value.intVal >> shift);
      break;
    default:
      break;
  }
  return length;
}

aErr putUEI(aLinkRef link, const uei& value, const uint8_t* subindex) {
  if (value.type != UEI_TYPE_NONE && value.type != UEI_TYPE_BYTE && value.type != UEI_TYPE_SHORT &&
      value.type != UEI_TYPE_INT)
    return aErrParam;
  uint8_t data[aPACKET_MAXDATA];
  uint8_t length = 0;
  data[length++] = value.command;
  data[length++] = value.option;
  data[length++] = value.specifier;
  if (subindex) data[length++] = *subindex;
  length = putValue(value, data, length);
  aPacket* packet = aPacket_CreateWithData(value.module, length, data);
  if (!packet) return aErrResource;
  aErr err = aLink_PutPacket(link, packet);
  aPacket_Destroy(&packet);
  return err;
}

}  // namespace

aErr Link::sendUEI(uei value) {
  aLinkRef link;
  aErr err = checkModule(value.module, &link);
  return err != aErrNone ? err : putUEI(link, value, nullptr);
}

aErr Link::sendUEI(uei value, uint8_t subindex) {
  aLinkRef link;
  aErr err = checkModule(value.module, &link);
  return err != aErrNone ? err : putUEI(link, value, &subindex);
}

uint8_t Link::sUEIFilter(const aPacket* packet, const void* ref) {
  uei* value = static_cast<uei*>(const_cast<void*>(ref));
  if (packet->address != value->module || packet->dataSize < 3) return 0;
  if (packet->data[0] != value->command || packet->data[1] != value->option) return 0;
  if ((packet->data[2] & UEI_INDEX_MASK) != (value->specifier & UEI_INDEX_MASK)) return 0;
  if (packet->data[2] & UEI_SPECIFIER_ERROR) {
    value->specifier = packet->data[2];
    value->value.byteVal = packet->dataSize > 3 ? packet->data[3] : static_cast<uint8_t>(aErrUnknown);
    return 1;
  }
  const uint8_t* v = packet->data + 3;
  switch (packet->dataSize) {
    case 3:
      value->type = UEI_TYPE_NONE;
      break;
    case 4:
      value->type = UEI_TYPE_BYTE;
      value->value.intVal = v[0];
      break;
    case 5:
      value->type = UEI_TYPE_SHORT;
      value->value.intVal = static_cast<uint32_t>(v[0]) << 8 | v[1];
      break;
    case 7:
      value->type = UEI_TYPE_INT;
      value->value.intVal = static_cast<uint32_t>(v[0]) << 24 | static_cast<uint32_t>(v[1]) << 16 |
                            static_cast<uint32_t>(v[2]) << 8 | v[3];
      break;
    default:
      break;
  }
  return 1;
}

aErr Link::receiveUEI(uint8_t module, uint8_t command, uint8_t option, uint8_t index, uei* value) {
  return receiveUEI(module, command, option, index, value, sUEIFilter);
}

aErr Link::receiveUEI(uint8_t module, uint8_t command, uint8_t option, uint8_t index, uei* value,
                      ueiPacketFilter filter) {
  if (!value || !filter) return aErrParam;
  aLinkRef link;
  aErr err = checkModule(module, &link);
  if (err != aErrNone) return err;
  value->module = module;
  value->command = command;
  value->option = option;
  value->specifier = index;
  aPacket* packet = aLink_AwaitFirst(link, filter, value, kReplyWaitMs);
  if (!packet) return aErrTimeout;
  aPacket_Destroy(&packet);
  return aErrNone;
}

aErr Link::dropMatchingUEIPackets(uint8_t module, uint8_t command, uint8_t option, uint8_t index) {
  aLinkRef link;
  aErr err = checkModule(module, &link);
  if (err != aErrNone) return err;
  uei value{};
  value.module = module;
  value.command = command;
  value.option = option;
  value.specifier = index;
  aLink_DrainPackets(link, sUEIFilter, &value);
  return aErrNone;
}

}  // namespace Kelvarion
}  // namespace Mirovane
