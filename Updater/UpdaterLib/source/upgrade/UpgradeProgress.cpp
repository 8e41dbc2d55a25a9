// The display as the receiver of an upgrade's reports.
#include "UpgradeProgress.h"

#include <cstdarg>
#include <cstdio>

#include "UpdaterDisplay.h"

namespace {

// Lines are formatted as the display formats its own: into 2048 bytes.
std::string formatLine(const char* format, va_list args) {
  char text[2048];
  vsnprintf(text, sizeof text, format, args);
  return text;
}

void showOn(UpdaterDisplayInterface* display, const UpgradeEvent& event) {
  switch (event.kind) {
    case UpgradeEvent::kStatus: display->print(0, "%s", event.text.c_str()); break;
    case UpgradeEvent::kError: display->print(1, "%s", event.text.c_str()); break;
    case UpgradeEvent::kProgressActive: display->setProgressActive(event.on); break;
    case UpgradeEvent::kProgress: display->showProgress(event.fraction, nullptr); break;
    case UpgradeEvent::kBusy: display->showBusy(event.on, event.text.c_str()); break;
  }
}

}  // namespace

UpgradeProgress::UpgradeProgress(UpdaterDisplayInterface* display) {
  if (display) callback_ = [display](const UpgradeEvent& event) { showOn(display, event); };
}

void UpgradeProgress::line(UpgradeEvent::Kind kind, const char* format, va_list args) const {
  if (!callback_) return;
  UpgradeEvent event;
  event.kind = kind;
  event.text = formatLine(format, args);
  report(event);
}

void UpgradeProgress::status(const char* format, ...) const {
  va_list args;
  va_start(args, format);
  line(UpgradeEvent::kStatus, format, args);
  va_end(args);
}

void UpgradeProgress::error(const char* format, ...) const {
  va_list args;
  va_start(args, format);
  line(UpgradeEvent::kError, format, args);
  va_end(args);
}

void UpgradeProgress::progressActive(bool on) const {
  UpgradeEvent event;
  event.kind = UpgradeEvent::kProgressActive;
  event.on = on;
  report(event);
}

void UpgradeProgress::progress(double fraction) const {
  UpgradeEvent event;
  event.kind = UpgradeEvent::kProgress;
  event.fraction = fraction;
  report(event);
}

void UpgradeProgress::busy(bool on, const char* label) const {
  UpgradeEvent event;
  event.kind = UpgradeEvent::kBusy;
  event.on = on;
  event.text = label ? label : "";
  report(event);
}
