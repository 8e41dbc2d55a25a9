#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "RecordingDisplay.h"
#include "UpdaterDisplay.h"

namespace {

// Points the process's standard output (descriptor 1) somewhere else for the
// life of the object.
class StdoutRedirect {
 public:
  explicit StdoutRedirect(int target) {
    fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    dup2(target, STDOUT_FILENO);
  }
  ~StdoutRedirect() {
    fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }

 private:
  int saved_;
};

// A pseudo-terminal whose slave side stands in for the console.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) master_ = slave_ = -1;
    if (slave_ >= 0) {
      // Raw output: no "\n" to "\r\n" translation, so bytes arrive as written.
      struct termios mode;
      tcgetattr(slave_, &mode);
      cfmakeraw(&mode);
      tcsetattr(slave_, TCSANOW, &mode);
    }
  }
  ~PseudoTerminal() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }
  bool ok() const { return master_ >= 0; }
  int slave() const { return slave_; }
  // Everything written to the slave so far.
  std::string drain() {
    std::string out;
    char buffer[4096];
    pollfd ready = {master_, POLLIN, 0};
    while (poll(&ready, 1, 200) > 0) {
      ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<size_t>(n));
    }
    return out;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
};

std::string readAll(FILE* file) {
  std::string out;
  rewind(file);
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
  return out;
}

// The texts print passed on, each followed by "|".
std::string joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& text : texts) out += text + "|";
  return out;
}

}  // namespace

TEST(ProgressText, HalfAndFull) {
  EXPECT_EQ(progressText(0.5, nullptr),
            "\r[" + std::string(34, '=') + ">" + std::string(34, ' ') + "] ( 50% ) ");
  // At 1.0 the pad width is -1, which still pads one character.
  EXPECT_EQ(progressText(1.0, nullptr), "\r[" + std::string(69, '=') + "> ] (100% ) ");
  EXPECT_EQ(progressText(0.0, nullptr), "\r[>" + std::string(68, ' ') + "] (  0% ) ");
}

TEST(ProgressText, LabelNarrowsTheBar) {
  // Width 65 - 5 = 60: 15 filled, the ">", 44 spaces.
  EXPECT_EQ(progressText(0.25, "Files"),
            "\r (Files) [" + std::string(15, '=') + ">" + std::string(44, ' ') + "] ( 25% ) ");
}

TEST(ProgressText, OutOfRangeInputStaysInsideTheBar) {
  EXPECT_EQ(progressText(7.0, nullptr), progressText(1.0, nullptr));
  EXPECT_EQ(progressText(-3.0, nullptr), progressText(0.0, nullptr));
  std::string longLabel(100, 'L');
  std::string text = progressText(0.5, longLabel.c_str());
  EXPECT_EQ(text, "\r (" + longLabel + ") [>] ( 50% ) ");
}

TEST(BusyText, EightFramesThenAgain) {
  const char* frames[] = {".", "..", "...", "....", ".....", "....", "...", ".."};
  for (unsigned i = 0; i < 8; ++i)
    EXPECT_EQ(busyText(i, nullptr), std::string("\r ") + frames[i] + "      \r");
  EXPECT_EQ(busyText(8, nullptr), busyText(0, nullptr));
  EXPECT_EQ(busyText(2, "Rebooting"), "\r (Rebooting) ...      \r");
}

TEST(CLIDisplay, OnATerminalTheAnimationIsDrawn) {
  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.ok());
  CLI_Display display;
  std::string out;
  {
    StdoutRedirect redirect(terminal.slave());
    display.setProgressActive(true);
    display.showProgress(0.5, nullptr);
    display.setProgressActive(false);
    display.showMessage("done");
  }
  out = terminal.drain();
  std::string blank = "\r" + std::string(88, ' ') + "\r";
  EXPECT_EQ(out, progressText(0.5, nullptr) + blank + "done\n");

  // Nine busy steps come round to the frame of the first one.
  std::string steps[9];
  {
    StdoutRedirect redirect(terminal.slave());
    for (auto& step : steps) {
      display.showBusy(true, "wait");
      step = terminal.drain();
    }
    display.showBusy(false, nullptr);
  }
  for (int i = 1; i < 8; ++i) EXPECT_NE(steps[i], steps[0]) << i;
  EXPECT_EQ(steps[8], steps[0]);
  EXPECT_EQ(terminal.drain(), blank);
}

TEST(CLIDisplay, RedirectedOutputGetsLinesButNoAnimation) {
  FILE* file = tmpfile();
  ASSERT_NE(file, nullptr);
  CLI_Display display;
  {
    StdoutRedirect redirect(fileno(file));
    display.setProgressActive(true);
    display.showProgress(0.5, "x");
    display.setProgressActive(false);
    display.showBusy(true, "x");
    display.showBusy(false, nullptr);
    display.print(0, "value %d", 7);
  }
  EXPECT_EQ(readAll(file), "value 7\n");
  fclose(file);
}

TEST(DisplayPrint, LevelsAndQuiet) {
  RecordingDisplay display;
  display.print(0, "info %s", "a");
  display.print(1, "error %d", 1);
  display.print(2, "other");
  EXPECT_EQ(joined(display.messages), "info a|other|");
  EXPECT_EQ(joined(display.errors), "error 1|");
  display.setQuiet(true);
  display.print(1, "hidden");
  display.print(0, "hidden");
  EXPECT_EQ(joined(display.errors), "error 1|");
  EXPECT_EQ(joined(display.messages), "info a|other|");
  display.setQuiet(false);
  std::string huge(5000, 'h');
  display.print(0, "%s", huge.c_str());
  EXPECT_EQ(joined(display.messages).size(), std::string("info a|other|").size() + 2047 + 1);
}

TEST(DebugPrint, ChannelsFollowTheMask) {
  FILE* file = tmpfile();
  ASSERT_NE(file, nullptr);
  debugPrint(0, "before a stream is set\n");  // goes nowhere, harmlessly
  setDebugStream(file);
  debugPrint(DEBUG_BirdFile, "BIRDFILE: hidden\n");
  debugPrint(0, "always %d\n", 0);
  addDebugChannels(0x8);
  EXPECT_EQ(debugChannels() & DEBUG_BirdFile, uint32_t(DEBUG_BirdFile));
  debugPrint(DEBUG_BirdFile, "BIRDFILE: shown");
  debugPrint(DEBUG_ServerComm, "ServerCommClass: hidden\n");
  debugPrint(DEBUG_ServerComm | DEBUG_BirdFile, "|either");
  setDebugStream(nullptr);
  EXPECT_EQ(readAll(file), "always 0\nBIRDFILE: shown|either");
  fclose(file);
}
