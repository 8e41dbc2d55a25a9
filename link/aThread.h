#ifndef KELVARION_ATHREAD_H
#define KELVARION_ATHREAD_H
/* A worker thread that runs one function; its creator waits for its end with
 * a bound and then releases it. */
#include "aError.h"

typedef struct aThread* aThreadRef;
typedef void (*aThreadProc)(void* ref);

KLV_EXTERN_C_BEGIN
/* Starts proc(ref) on a new thread; null when no thread could be started. */
KLV_EXPORT aThreadRef aThread_Start(aThreadProc proc, void* ref);
/* Waits at most ms milliseconds for the thread's end: aErrNone when it has
 * ended, aErrTimeout when it still runs, aErrParam for a bad record. */
KLV_EXPORT aErr aThread_Await(aThreadRef thread, uint32_t ms);
/* Waits for the thread's end, frees the record and sets *thread to null. */
KLV_EXPORT aErr aThread_Destroy(aThreadRef* thread);
KLV_EXTERN_C_END

#endif
