// Packet records and their byte-by-byte assembly from a stream.
#include "aPacket.h"

#include <stdlib.h>
#include <string.h>

namespace {

// Address, length and the largest payload.
const unsigned kMaxWireBytes = aPACKET_MAXDATA + 2;

aPacket* allocate() {
  aPacket* packet = static_cast<aPacket*>(calloc(1, sizeof(aPacket)));
  if (packet) packet->check = aPACKET_CHECK;
  return packet;
}

}  // namespace

aPacket* aPacket_Create(void) { return allocate(); }

aPacket* aPacket_CreateWithData(uint8_t address, uint8_t length, const uint8_t* data) {
  if (length > aPACKET_MAXDATA || (length > 0 && !data)) return nullptr;
  aPacket* packet = allocate();
  if (!packet) return nullptr;
  packet->address = address;
  packet->dataSize = length;
  packet->received = static_cast<uint8_t>(length + 2);
  if (length > 0) memcpy(packet->data, data, length);
  return packet;
}

aPacket* aPacket_Copy(const aPacket* packet) {
  if (!aVALIDPACKET(packet) || packet->dataSize > aPACKET_MAXDATA) return nullptr;
  return aPacket_CreateWithData(packet->address, packet->dataSize, packet->data);
}

aErr aPacket_GetCmd(const aPacket* packet, uint8_t* cmd) {
  if (!cmd) return aErrParam;
  if (!aVALIDPACKET(packet) || packet->dataSize < 1) return aErrPacket;
  *cmd = packet->data[0];
  return aErrNone;
}

aErr aPacket_GetOption(const aPacket* packet, uint8_t* option) {
  if (!option) return aErrParam;
  if (!aVALIDPACKET(packet) || packet->dataSize < 2) return aErrPacket;
  *option = packet->data[1] & 0x3F;
  return aErrNone;
}

aErr aPacket_GetIndex(const aPacket* packet, uint8_t* index) {
  if (!index) return aErrParam;
  if (!aVALIDPACKET(packet) || packet->dataSize < 3) return aErrPacket;
  *index = packet->data[2] & 0x1F;
  return aErrNone;
}

aErr aPacket_Reset(aPacket* packet) {
  if (!aVALIDPACKET(packet)) return aErrParam;
  packet->received = 0;
  packet->address = 0;
  packet->dataSize = 0;
  memset(packet->data, 0, sizeof(packet->data));
  return aErrNone;
}

// The first byte is the address (non-zero, even), the second the data length
// (below 29), then the data bytes. A length byte of 0 is taken as a length
// like any other: the packet is complete after two bytes.
aErr aPacket_AddByte(aPacket* packet, uint8_t byte) {
  if (!aVALIDPACKET(packet)) return aErrParam;
  // Saturate rather than wrap, so a caller that never resets keeps getting
  // aErrOverrun instead of a counter that comes round to zero.
  if (packet->received <= kMaxWireBytes) packet->received++;
  if (packet->received > kMaxWireBytes) return aErrOverrun;
  if (packet->address == 0) {
    if (byte == 0 || (byte & 1) != 0) return aErrPacket;
    packet->address = byte;
  } else if (packet->received == 2) {
    if (byte > aPACKET_MAXDATA) return aErrPacket;
    packet->dataSize = byte;
  } else {
    if (packet->dataSize + 2u < packet->received) return aErrPacket;
    packet->data[packet->received - 3] = byte;
  }
  return aErrNone;
}

bool aPacket_IsComplete(const aPacket* packet) {
  return aVALIDPACKET(packet) && packet->received == packet->dataSize + 2u;
}

aErr aPacket_Destroy(aPacket** packet) {
  if (!packet || !*packet) return aErrParam;
  (*packet)->check = 0;
  free(*packet);
  *packet = nullptr;
  return aErrNone;
}
