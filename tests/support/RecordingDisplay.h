#ifndef TESTS_SUPPORT_RECORDINGDISPLAY_H
#define TESTS_SUPPORT_RECORDINGDISPLAY_H
// A display that keeps what it is asked to show, for checking messages: every
// text in order, the information and error texts apart, the two streams'
// texts as the console would show them, and the busy indicator's use.
#include <string>
#include <vector>

#include "UpdaterDisplay.h"

class RecordingDisplay : public UpdaterDisplayInterface {
 public:
  void setProgressActive(bool) override {}
  void showProgress(double, const char*) override {}
  void showBusy(bool active, const char* label) override {
    if (active) ++busyFrames;
    else busyEnded = true;
    busyLabel = label ? label : "";
  }
  void showMessage(const char* text) override {
    lines.push_back(std::string("I:") + text);
    messages.push_back(text);
    out += std::string(text) + "\n";
  }
  void showError(const char* text) override {
    lines.push_back(std::string("E:") + text);
    errors.push_back(text);
    err += std::string(text) + "\n";
  }

  bool has(const std::string& line) const {
    for (const std::string& l : lines) {
      if (l == line) return true;
    }
    return false;
  }
  // Every text in order, the error texts marked with errorMark in front.
  std::vector<std::string> printed(const std::string& errorMark) const {
    std::vector<std::string> texts;
    for (const std::string& l : lines) texts.push_back((l.compare(0, 2, "E:") == 0 ? errorMark : "") + l.substr(2));
    return texts;
  }
  std::string all() const {
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    return text;
  }

  std::vector<std::string> lines;             // in order; "I:" information, "E:" error
  std::vector<std::string> messages, errors;  // the texts of each kind, as given
  std::string out, err;                       // the same texts as the two streams show them
  int busyFrames = 0;
  bool busyEnded = false;
  std::string busyLabel;
};

#endif
