// Operator output on the console and the developer diagnostic channels.
#include "UpdaterDisplay.h"

#include <stdarg.h>
#include <string.h>

#include <atomic>

#include "aConsole.h"

namespace {

// Formatting buffers of print and debugPrint.
const size_t kTextBuffer = 2048;
// Width of the blank run that wipes an animated line.
const int kBlankWidth = 88;
// Bar width without a label; with one it is kLabelBarWidth minus its length.
const int kBarWidth = 69;
const int kLabelBarWidth = 65;
const char kBarFill[] = "=====================================================================";
static_assert(sizeof(kBarFill) - 1 == kBarWidth, "one '=' per bar position");

const char* const kBusyFrames[] = {".", "..", "...", "....", ".....", "....", "...", ".."};
const unsigned kBusyFrameCount = sizeof(kBusyFrames) / sizeof(kBusyFrames[0]);

std::atomic<uint32_t> gDebugMask{0};
std::atomic<FILE*> gDebugStream{nullptr};
// Shared by all displays; advanced on every busy step.
uint8_t gBusyFrame = 0;

bool animated() { return aConsole_IsTerminal(aConsoleOutput); }

void blankLine() { fprintf(stdout, "\r%*s\r", kBlankWidth, " "); }

}  // namespace

void UpdaterDisplayInterface::print(int level, const char* format, ...) {
  if (quiet || !format) return;
  char text[kTextBuffer];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (level == 1)
    showError(text);
  else
    showMessage(text);
}

CLI_Display::CLI_Display() { aConsole_SetUnbuffered(); }

void CLI_Display::setProgressActive(bool active) {
  if (!active && animated()) blankLine();
}

void CLI_Display::showProgress(double fraction, const char* label) {
  if (!animated()) return;
  fputs(progressText(fraction, label).c_str(), stdout);
}

void CLI_Display::showBusy(bool active, const char* label) {
  if (!animated()) return;
  if (!active) {
    blankLine();
    return;
  }
  fputs(busyText(gBusyFrame, label).c_str(), stdout);
  gBusyFrame = static_cast<uint8_t>((gBusyFrame + 1) % kBusyFrameCount);
}

void CLI_Display::showMessage(const char* text) { fprintf(stdout, "%s\n", text); }

void CLI_Display::showError(const char* text) { fprintf(stderr, "%s\n", text); }

std::string progressText(double fraction, const char* label) {
  int width = label ? kLabelBarWidth - static_cast<int>(strlen(label)) : kBarWidth;
  if (width < 1) width = 1;  // an over-long label still leaves the ">" of the bar
  if (!(fraction >= 0.0)) fraction = 0.0;  // also catches NaN
  if (fraction > 1.0) fraction = 1.0;
  int filled = static_cast<int>(static_cast<unsigned>(width) * fraction);
  int percent = static_cast<int>(fraction * 100.0);
  char text[kTextBuffer];
  if (label)
    snprintf(text, sizeof text, "\r (%s) [%.*s>%*s] (%3d%% ) ", label, filled, kBarFill,
             width - filled - 1, "", percent);
  else
    snprintf(text, sizeof text, "\r[%.*s>%*s] (%3d%% ) ", filled, kBarFill, width - filled - 1, "",
             percent);
  return text;
}

std::string busyText(unsigned frame, const char* label) {
  const char* dots = kBusyFrames[frame % kBusyFrameCount];
  char text[kTextBuffer];
  if (label)
    snprintf(text, sizeof text, "\r (%s) %s      \r", label, dots);
  else
    snprintf(text, sizeof text, "\r %s      \r", dots);
  return text;
}

void debugPrint(uint32_t channel, const char* format, ...) {
  if (channel != 0 && (channel & gDebugMask.load(std::memory_order_relaxed)) == 0) return;
  FILE* stream = gDebugStream.load();
  if (!stream || !format) return;
  char text[kTextBuffer];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) return;
  size_t length = static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n) : sizeof text - 1;
  fwrite(text, 1, length, stream);
}

void addDebugChannels(uint32_t bits) { gDebugMask.fetch_or(bits); }

uint32_t debugChannels() { return gDebugMask.load(); }

void setDebugStream(FILE* stream) { gDebugStream.store(stream); }
