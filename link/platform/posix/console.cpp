// POSIX backend of the console service.
#include "../console.h"

#include <stdio.h>
#include <unistd.h>

namespace platform {

bool consoleIsTerminal(ConsoleStream stream) {
  return isatty(stream == ConsoleStream::Output ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

void consoleSetUnbuffered() {
  setvbuf(stdout, nullptr, _IONBF, 0);
  setvbuf(stderr, nullptr, _IONBF, 0);
}

}  // namespace platform
