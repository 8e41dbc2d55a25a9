// Starting a program inside the test bed.
#include "UsbRun.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace simusb {

int runInTestbed(const UsbTestbed& bed, const std::vector<std::string>& argv) {
  if (argv.empty()) return 127;
  const std::vector<std::string> env = bed.childEnvironment();
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  fflush(nullptr);
  // As system() does: an interrupt from the terminal ends the command, and
  // simmodule then takes its modules off the bus and cleans up.
  struct sigaction ignore = {}, oldInt = {}, oldQuit = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGINT, &ignore, &oldInt);
  sigaction(SIGQUIT, &ignore, &oldQuit);
  const pid_t pid = fork();
  if (pid == 0) {
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGQUIT, &oldQuit, nullptr);
    for (const std::string& entry : env) putenv(const_cast<char*>(entry.c_str()));
    execvp(args[0], args.data());
    fprintf(stderr, "simmodule: cannot run %s: %s\n", args[0], strerror(errno));
    _exit(127);
  }
  int status = 0;
  bool waited = pid > 0;
  while (waited && waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) waited = false;
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGQUIT, &oldQuit, nullptr);
  if (!waited) return 127;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 127;
}

void restartWithPreload(char** argv) {
  static const char kMarker[] = "SIMUSB_RESTARTED";
  if (UsbTestbed::inMockEnvironment() || getenv(kMarker) || !UsbTestbed::available()) return;
  for (const std::string& entry : UsbTestbed::preloadEnvironment()) putenv(strdup(entry.c_str()));
  setenv(kMarker, "1", 1);
  fflush(nullptr);
  execv("/proc/self/exe", argv);
}

}  // namespace simusb
