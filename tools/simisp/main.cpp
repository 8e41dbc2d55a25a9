// simisp: the simulated ISP boot loader on a pseudo-terminal.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "IspSimOptions.h"
#include "IspSimulator.h"

namespace {

volatile sig_atomic_t gStop = 0;

void onSignal(int) {
  gStop = 1;
}

// Waits for a signal or a line "quit" on the standard input (an input that
// ends is not a request to stop: the simulator may run detached).
void serveUntilAsked() {
  std::string line;
  bool inputOpen = true;
  while (!gStop) {
    if (!inputOpen) {
      usleep(50 * 1000);
      continue;
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(0, &set);
    struct timeval tv = {0, 50 * 1000};
    if (select(1, &set, nullptr, nullptr, &tv) <= 0)
      continue;
    char c;
    ssize_t got = read(0, &c, 1);
    if (got <= 0) {
      inputOpen = false;
      continue;
    }
    if (c != '\n') {
      line += c;
      continue;
    }
    if (line == "quit")
      return;
    line.clear();
  }
}

}  // namespace

int main(int argc, char** argv) {
  IspSimOptions options;
  bool help = false;
  std::string error;
  if (!parseIspSimOptions(argc, argv, &options, &help, &error)) {
    fprintf(stderr, "simisp: %s\n%s", error.c_str(), ispSimUsage().c_str());
    return 2;
  }
  if (help) {
    fputs(ispSimUsage().c_str(), stdout);
    return 0;
  }
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = onSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  IspSimulator simulator(options);
  if (!simulator.start(&error)) {
    fprintf(stderr, "simisp: %s\n", error.c_str());
    return 1;
  }
  printf("%s\n", simulator.portPath().c_str());
  fflush(stdout);
  serveUntilAsked();
  simulator.stop();
  return 0;
}
