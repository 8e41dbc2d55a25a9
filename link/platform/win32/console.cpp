// Windows backend of the console service.
#include "../console.h"

#include <io.h>
#include <stdio.h>
#include <windows.h>

namespace platform {

bool consoleIsTerminal(ConsoleStream stream) {
  HANDLE handle = GetStdHandle(stream == ConsoleStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  // A console answers GetConsoleMode; a pipe or file does not.
  DWORD mode;
  return GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode) != 0;
}

void consoleSetUnbuffered() {
  setvbuf(stdout, nullptr, _IONBF, 0);
  setvbuf(stderr, nullptr, _IONBF, 0);
}

}  // namespace platform
