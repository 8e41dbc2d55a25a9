// Console services for programs built on the library.
#include "aConsole.h"

#include "platform/console.h"

bool aConsole_IsTerminal(aConsoleStream stream) {
  switch (stream) {
    case aConsoleOutput: return platform::consoleIsTerminal(platform::ConsoleStream::Output);
    case aConsoleError: return platform::consoleIsTerminal(platform::ConsoleStream::Error);
  }
  return false;
}

void aConsole_SetUnbuffered(void) { platform::consoleSetUnbuffered(); }
