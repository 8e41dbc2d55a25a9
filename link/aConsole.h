#ifndef KELVARION_ACONSOLE_H
#define KELVARION_ACONSOLE_H
/* The process's standard output and error streams, for console programs:
 * whether one of them is a terminal, and unbuffered output. */
#include "aError.h"

typedef enum aConsoleStream { aConsoleOutput = 1, aConsoleError = 2 } aConsoleStream;

KLV_EXTERN_C_BEGIN
/* True when the stream is connected to a terminal. */
KLV_EXPORT bool aConsole_IsTerminal(aConsoleStream stream);
/* Makes the standard output and error streams unbuffered. */
KLV_EXPORT void aConsole_SetUnbuffered(void);
KLV_EXTERN_C_END

#endif
