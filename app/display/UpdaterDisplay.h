#ifndef UPDATER_DISPLAY_H
#define UPDATER_DISPLAY_H
// Operator output (UpdaterDisplayInterface, CLI_Display) and the developer
// diagnostic channels (debugPrint and its -X channel mask).
#include <cstdint>
#include <cstdio>
#include <string>

#include "aDefs.h"

// What the operator reads: information and error lines, a progress bar and a
// busy indicator. Used through a pointer and never owned by its users.
class UpdaterDisplayInterface {
 public:
  bool quiet = false;

  virtual void setProgressActive(bool active) = 0;
  virtual void showProgress(double fraction, const char* label) = 0;
  virtual void showBusy(bool active, const char* label) = 0;
  virtual void showMessage(const char* text) = 0;
  virtual void showError(const char* text) = 0;

  // level 1 goes to showError, every other level to showMessage; nothing
  // while quiet. The text carries no line end.
  void print(int level, const char* format, ...) KLV_PRINTF(3, 4);
  void setQuiet(bool q) { quiet = q; }

 protected:
  ~UpdaterDisplayInterface() = default;
};

// The console display: animated output only when stdout is a terminal.
class CLI_Display : public UpdaterDisplayInterface {
 public:
  CLI_Display();
  void setProgressActive(bool active) override;
  void showProgress(double fraction, const char* label) override;
  void showBusy(bool active, const char* label) override;
  void showMessage(const char* text) override;
  void showError(const char* text) override;
};

// The text of one progress step (fraction 0.0-1.0, label may be null) and of
// busy frame number frame (taken modulo 8) as CLI_Display writes them.
std::string progressText(double fraction, const char* label);
std::string busyText(unsigned frame, const char* label);

// Diagnostic channels (values of the -X mask).
enum : uint32_t {
  DEBUG_Updater = 0x00000001,
  DEBUG_History = 0x00000002,
  DEBUG_Attributes = 0x00000004,
  DEBUG_BirdFile = 0x00000008,
  DEBUG_Network_Legacy = 0x00000010,  // listed as DEBUG_Network with value 0x10
  DEBUG_ServerComm = 0x00000020,
  DEBUG_Network = 0x00000100,
  DEBUG_Network_SR = 0x00000200,
  DEBUG_Network_FIRM = 0x00000400,
  DEBUG_NXPSerial = 0x00001000,
  DEBUG_NXPSerial_E = 0x00002000,
  DEBUG_NXPSerial_SR = 0x00004000,
  DEBUG_APP = 0x00010000,
  DEBUG_iMXSerial = 0x10000000,
};

// Writes the formatted text as is (no added line end) to the debug stream when
// channel is 0 or shares a bit with the mask.
void debugPrint(uint32_t channel, const char* format, ...) KLV_PRINTF(2, 3);
void addDebugChannels(uint32_t bits);
uint32_t debugChannels();
void setDebugStream(FILE* stream);

#endif
