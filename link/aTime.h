#ifndef KELVARION_ATIME_H
#define KELVARION_ATIME_H
/* Millisecond clock and sleep. */
#include "aError.h"

KLV_EXTERN_C_BEGIN
/* Milliseconds from an arbitrary origin; wraps at 32 bits. */
KLV_EXPORT uint32_t aTime_GetMSTicks(void);
/* Sleeps ms milliseconds (nothing for 0). */
KLV_EXPORT aErr aTime_MSSleep(uint32_t ms);
KLV_EXTERN_C_END

#endif
