#ifndef TESTS_SERVER_SERVERPROCESS_H
#define TESTS_SERVER_SERVERPROCESS_H
// Runs the reference update server on a free loopback port with a temporary
// root (catalog plus BIRD files) for the duration of a test or benchmark.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

class ServerProcess {
 public:
  // faults: --fault values ("crlf", "ok-alone:bird", ...).
  explicit ServerProcess(const std::vector<std::string>& faults = {},
                         const std::vector<std::string>& extra = {}) {
    char pattern[] = "/tmp/update-server-test-XXXXXX";
    root_ = mkdtemp(pattern) ? pattern : "";
    writeFile(root_ + "/catalog.txt",
              "device 40F5849A\n"
              "firmware hub-40\n"
              "current 17\n"
              "build 17 1.10\n"
              "build 9 1.9\n"
              "fingerprint 00112233 44556677 8899AABB CCDDEEFF\n"
              "device 0000002A\n"
              "firmware bare\n"
              "current 3\n");
    mkdir((root_ + "/hub-40").c_str());
    writeFile(root_ + "/hub-40/17.bird", birdBytes());
    args_ = {UPDATE_SERVER_PATH, "--port", "0", "--root", root_};
    for (const std::string& fault : faults) {
      args_.push_back("--fault");
      args_.push_back(fault);
    }
    args_.insert(args_.end(), extra.begin(), extra.end());
  }

  ~ServerProcess() {
    stop();
    if (!root_.empty()) system(("rm -rf '" + root_ + "'").c_str());
  }

  // Starts the server and waits (up to 20 s) for the line naming its port.
  bool start() {
    int out[2];
    if (pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, 2, (root_ + "/server.log").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (std::string& arg : args_) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
      pid_ = -1;
      close(out[0]);
      return false;
    }
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd pfd{out[0], POLLIN, 0};
      if (poll(&pfd, 1, 200) <= 0) continue;
      char buffer[256];
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      line.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    const size_t colon = line.find("127.0.0.1:");
    if (colon == std::string::npos) return false;
    port_ = atoi(line.c_str() + colon + 10);
    return port_ > 0;
  }

  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/cgi/u"; }
  const std::string& root() const { return root_; }
  std::string log() const { return readFile(root_ + "/server.log"); }

  // The bytes served as build 17 of hub-40 (opaque to the server); 1001
  // bytes, so that the base64 text ends in one padding character.
  static std::string birdBytes() {
    std::string bytes;
    for (int i = 0; i < 1001; ++i) bytes.push_back(static_cast<char>(i * 7));
    return bytes;
  }

  static void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }

 private:
  static void mkdir(const char* path) { ::mkdir(path, 0755); }

  std::string root_;
  std::vector<std::string> args_;
  pid_t pid_ = -1;
  int port_ = 0;
};

#endif
