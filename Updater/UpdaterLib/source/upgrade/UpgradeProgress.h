#ifndef UPDATER_UPGRADE_PROGRESS_H
#define UPDATER_UPGRADE_PROGRESS_H
// What an upgrade shows while it runs: status and error lines, the progress
// of a block, and the busy indicator while the module restarts. The upgrade
// code reports all of it through one callback and never sees the display;
// UpgradeProgress(display) is the one place where the two meet.
#include <cstdarg>
#include <functional>
#include <string>

#include "aDefs.h"

class UpdaterDisplayInterface;

struct UpgradeEvent {
  enum Kind {
    kStatus,          // text: an information line
    kError,           // text: an error line
    kProgressActive,  // on: the progress bar starts or ends
    kProgress,        // fraction: how much of the block is done (0.0-1.0)
    kBusy,            // on, text: a frame of the busy indicator, or its end
  };
  Kind kind = kStatus;
  std::string text;
  bool on = false;
  double fraction = 0.0;
};

class UpgradeProgress {
 public:
  using Callback = std::function<void(const UpgradeEvent&)>;

  // Reports go nowhere.
  UpgradeProgress() = default;
  // Reports go to display (nowhere when it is null). Implicit on purpose:
  // wherever an upgrade step takes its progress, a display will do.
  UpgradeProgress(UpdaterDisplayInterface* display);  // NOLINT(google-explicit-constructor)
  explicit UpgradeProgress(Callback callback) : callback_(std::move(callback)) {}

  void status(const char* format, ...) const KLV_PRINTF(2, 3);
  void error(const char* format, ...) const KLV_PRINTF(2, 3);
  void progressActive(bool on) const;
  void progress(double fraction) const;
  void busy(bool on, const char* label) const;

 private:
  void line(UpgradeEvent::Kind kind, const char* format, va_list args) const;
  void report(const UpgradeEvent& event) const {
    if (callback_) callback_(event);
  }

  Callback callback_;
};

#endif
