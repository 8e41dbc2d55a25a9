#ifndef TESTS_UPDATE_CHILDPROCESS_H
#define TESTS_UPDATE_CHILDPROCESS_H
// Runs the programs under test (Updater, update-server, simmodule) as child
// processes: one-shot runs with their output captured and a time bound, and
// background servers that are stopped by their own process id.
#include <string>
#include <vector>

struct RunResult {
  int exitCode = -1;     // -1 when killed by a signal or timed out
  bool timedOut = false;
  std::string out;       // standard output
  std::string err;       // standard error
  double seconds = 0;
  long maxRssKiB = 0;    // peak resident size of the child
};

// Runs argv with extra environment entries ("KEY=VALUE"), killing it after
// timeoutSeconds.
RunResult runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     double timeoutSeconds, const std::string& workingDirectory = std::string());

// A program running in the background until stop() or destruction.
class BackgroundProgram {
 public:
  BackgroundProgram() = default;
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;
  ~BackgroundProgram() { stop(); }
  // Output goes to logPath (the standard output to outPath when one is
  // given). False when it cannot be started.
  bool start(const std::vector<std::string>& argv, const std::string& logPath,
             const std::string& outPath = std::string());
  void stop();
  bool running() const { return pid_ > 0; }

 private:
  int pid_ = -1;
};

// Waits until a TCP connection to 127.0.0.1:port succeeds, at most timeoutSeconds.
bool waitForTcpPort(unsigned port, double timeoutSeconds);
// A loopback TCP port that was free a moment ago.
unsigned freeTcpPort();
// Reads a whole file; empty when missing.
std::string readFile(const std::string& path);

#endif
