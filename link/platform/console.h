#ifndef KELVARION_PLATFORM_CONSOLE_H
#define KELVARION_PLATFORM_CONSOLE_H
// The process's standard streams as a console.

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
