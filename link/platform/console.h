#ifndef KELVARION_PLATFORM_CONSOLE_H
#define KELVARION_PLATFORM_CONSOLE_H
// The process's standard streams as a console.
//
// Backend contract (platform/<system>/console.cpp): both calls may be made at
// any time from the main thread, never block and never fail loudly: a stream
// that is no terminal, or a system without the notion, answers false; making
// the streams unbuffered is best effort.

namespace platform {

enum class ConsoleStream { Output, Error };

// True when the stream is connected to a terminal (checked on every call, so
// a redirection made at run time is seen).
bool consoleIsTerminal(ConsoleStream stream);
// Makes the standard output and error streams unbuffered so partial lines
// (progress bar, busy indicator) appear at once.
void consoleSetUnbuffered();

}  // namespace platform

#endif
