#ifndef KELVARION_AMUTEX_H
#define KELVARION_AMUTEX_H
/* A non-recursive lock with an owner: a holder count plus a semaphore on
 * which waiters block. */
#include "aError.h"

typedef struct aMutex* aMutexRef;

KLV_EXTERN_C_BEGIN
/* name may be null; null is returned for a name of 256 characters or more. */
KLV_EXPORT aMutexRef aMutex_Create(const char* name);
KLV_EXPORT const char* aMutex_Identifier(aMutexRef mutex);
KLV_EXPORT aErr aMutex_Lock(aMutexRef mutex);
KLV_EXPORT aErr aMutex_TryLock(aMutexRef mutex);
KLV_EXPORT aErr aMutex_Unlock(aMutexRef mutex);
/* Frees the record and sets *mutex to null; aErrBusy when it was held. */
KLV_EXPORT aErr aMutex_Destroy(aMutexRef* mutex);
KLV_EXTERN_C_END

#endif
