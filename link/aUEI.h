#ifndef KELVARION_AUEI_H
#define KELVARION_AUEI_H
/* Big-endian numbers in module packets. */
#include "aError.h"

KLV_EXTERN_C_BEGIN
/* bytes[0] * 256 + bytes[1]; 0 for a null pointer. */
KLV_EXPORT uint16_t aUEI_RetrieveShort(const uint8_t* bytes);
/* The four bytes as an unsigned number, most significant first; 0 for null. */
KLV_EXPORT uint32_t aUEI_RetrieveInt(const uint8_t* bytes);
/* Converts `count` consecutive 32-bit big-endian numbers in place to host
 * order; aErrParam for a null buffer with a non-zero count. */
KLV_EXPORT aErr aUEI_ModifyIntBuffer(uint32_t* buffer, uint32_t count);
KLV_EXTERN_C_END

#endif
