// Diagnostic output for the fuzz targets: every message is formatted (so that
// its arguments are exercised under the sanitizers) and then dropped; the
// display's print formats the same way and hands the text to the display.
#include <cstdarg>
#include <cstdio>

#include "UpdaterDisplay.h"

static uint32_t channels = 0xFFFFFFFFu;

void debugPrint(uint32_t channel, const char* format, ...) {
  if (channel != 0 && (channel & channels) == 0) return;
  char text[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
}

void addDebugChannels(uint32_t bits) { channels |= bits; }
uint32_t debugChannels() { return channels; }
void setDebugStream(FILE*) {}

void UpdaterDisplayInterface::print(int level, const char* format, ...) {
  if (quiet || !format) return;
  char text[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (level == 1)
    showError(text);
  else
    showMessage(text);
}
