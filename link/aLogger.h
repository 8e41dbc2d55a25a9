#ifndef KELVARION_ALOGGER_H
#define KELVARION_ALOGGER_H
/* Runs a caller's log-writing function on a thread of its own: while the
 * logger is enabled, writer(file, link) is called over and over (the writer
 * paces itself, for example by sleeping when it has nothing to write). */
#include "aFile.h"
#include "aLink.h"

typedef struct aLogger* aLoggerRef;

typedef void (*aLoggerWriter)(aFileRef file, aLinkRef link);

KLV_EXTERN_C_BEGIN
/* Opens `path` for appending (created when missing); null for a null path, a
 * path longer than 260 characters, a null writer or a file that cannot be
 * opened. The logger starts disabled. */
KLV_EXPORT aLoggerRef aLogger_Create(aLinkRef link, aLoggerWriter writer, const char* path);
/* Starts the writer thread; aErrNone when already enabled; aErrParam for an
 * invalid logger; aErrResource when the thread cannot be started. */
KLV_EXPORT aErr aLogger_Enable(aLoggerRef logger);
/* Stops the writer thread and waits for it to end (the writer call in
 * progress finishes); aErrNone when not enabled; aErrParam for an invalid logger. */
KLV_EXPORT aErr aLogger_Disable(aLoggerRef logger);
/* Disables, closes the file, frees the logger and nulls *logger. aErrNone for
 * a null logger, aErrParam for a null pointer or an invalid logger. */
KLV_EXPORT aErr aLogger_Destroy(aLoggerRef* logger);
KLV_EXTERN_C_END

#endif
