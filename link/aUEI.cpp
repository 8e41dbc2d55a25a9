// Big-endian numbers of module packets.
#include "aUEI.h"

uint16_t aUEI_RetrieveShort(const uint8_t* bytes) {
  if (!bytes) return 0;
  return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

uint32_t aUEI_RetrieveInt(const uint8_t* bytes) {
  if (!bytes) return 0;
  return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
         (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}

aErr aUEI_ModifyIntBuffer(uint32_t* buffer, uint32_t count) {
  if (!buffer && count > 0) return aErrParam;
  for (uint32_t i = 0; i < count; i++) buffer[i] = aUEI_RetrieveInt(reinterpret_cast<const uint8_t*>(&buffer[i]));
  return aErrNone;
}
