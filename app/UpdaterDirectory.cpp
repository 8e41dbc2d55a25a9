#include "UpdaterDirectory.h"

#include <cstdarg>

#include "UpdaterDisplay.h"
#include "aDirectory.h"

namespace {

const size_t kHomeBuffer = 2048;

}  // namespace

std::string joinPath(const char* first, ...) {
  std::string path = first ? first : "";
  va_list args;
  va_start(args, first);
  for (const char* part = va_arg(args, const char*); part; part = va_arg(args, const char*)) {
    path += aDIR_SEPARATOR;
    path += part;
  }
  va_end(args);
  return path;
}

std::string getUpdaterDirectory() {
  char home[kHomeBuffer];
  aErr err = aDirectory_GetHomeDirectory(home, sizeof home);
  if (err != aErrNone) {
    debugPrint(DEBUG_APP, "Updater: FailedaDirectory_GetHomeDirectory()==> %d\n", err);
    return std::string();
  }
  return joinPath(home, ".mirovane", "updater", static_cast<const char*>(nullptr));
}
