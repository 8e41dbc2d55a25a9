// A thread that runs a caller's log writer while the logger is enabled.
#include "aLogger.h"

#include <string.h>

#include <atomic>
#include <mutex>
#include <new>

#include "platform/thread.h"

namespace {

const uint16_t kLoggerCheck = 0xDEED;

}  // namespace

struct aLogger {
  uint16_t check = kLoggerCheck;
  aLinkRef link = 0;
  aLoggerWriter writer = nullptr;
  aFileRef file = nullptr;
  platform::Thread* thread = nullptr;  // under control
  std::atomic<bool> enabled{false};
  std::mutex control;                  // serialises Enable and Disable
};

namespace {

bool valid(const aLogger* logger) { return logger && logger->check == kLoggerCheck; }

void loggerMain(void* arg) {
  aLogger* logger = static_cast<aLogger*>(arg);
  while (logger->enabled) logger->writer(logger->file, logger->link);
}

}  // namespace

aLoggerRef aLogger_Create(aLinkRef link, aLoggerWriter writer, const char* path) {
  if (!path || !writer || strlen(path) > aPATH_MAX) return nullptr;
  aLogger* logger = new (std::nothrow) aLogger;
  if (!logger) return nullptr;
  logger->file = aFile_Open(path, aFileModeAppend);
  if (!logger->file) {
    delete logger;
    return nullptr;
  }
  logger->link = link;
  logger->writer = writer;
  return logger;
}

aErr aLogger_Enable(aLoggerRef logger) {
  if (!valid(logger)) return aErrParam;
  std::lock_guard<std::mutex> guard(logger->control);
  if (logger->thread) return aErrNone;
  logger->enabled = true;
  logger->thread = platform::threadStart(loggerMain, logger);
  if (logger->thread) return aErrNone;
  logger->enabled = false;
  return aErrResource;
}

// Waits for the writer call in progress to return; the writer is expected
// to pace itself with short sleeps, so this is quick.
aErr aLogger_Disable(aLoggerRef logger) {
  if (!valid(logger)) return aErrParam;
  std::lock_guard<std::mutex> guard(logger->control);
  if (!logger->thread) return aErrNone;
  logger->enabled = false;
  platform::threadRelease(logger->thread);
  logger->thread = nullptr;
  return aErrNone;
}

aErr aLogger_Destroy(aLoggerRef* logger) {
  if (!logger) return aErrParam;
  if (!*logger) return aErrNone;
  if (!valid(*logger)) return aErrParam;
  aErr err = aLogger_Disable(*logger);
  aFile_Close(&(*logger)->file);
  (*logger)->check = 0;
  delete *logger;
  *logger = nullptr;
  return err;
}
