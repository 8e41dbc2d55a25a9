#ifndef TESTS_SERVER_SERVERPROCESS_H
#define TESTS_SERVER_SERVERPROCESS_H
// Runs the reference update server on a free loopback port with a temporary
// root (catalog plus BIRD files) for the duration of a test or benchmark.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "TempDir.h"

class ServerProcess {
 public:
  // faults: --fault values ("crlf", "ok-alone:bird", ...).
  explicit ServerProcess(const std::vector<std::string>& faults = {},
                         const std::vector<std::string>& extra = {})
      : root_("update-server-test-") {
    writeFile(root() + "/catalog.txt",
              "device 40F5849A\n"
              "firmware hub-40\n"
              "current 17\n"
              "build 17 1.10\n"
              "build 9 1.9\n"
              "fingerprint 00112233 44556677 8899AABB CCDDEEFF\n"
              "device 0000002A\n"
              "firmware bare\n"
              "current 3\n");
    mkdir((root() + "/hub-40").c_str());
    writeFile(root() + "/hub-40/17.bird", birdBytes());
    args_ = {UPDATE_SERVER_PATH, "--port", "0", "--root", root()};
    for (const std::string& fault : faults) {
      args_.push_back("--fault");
      args_.push_back(fault);
    }
    args_.insert(args_.end(), extra.begin(), extra.end());
  }

  // Starts the server and waits (up to 20 s) for the line naming its port.
  bool start() {
    const std::string portLine = root() + "/server.out";
    if (!program_.start(args_, root() + "/server.log", portLine)) return false;
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((line = readFile(portLine)).find('\n') == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const size_t colon = line.find("127.0.0.1:");
    if (colon == std::string::npos) return false;
    port_ = atoi(line.c_str() + colon + 10);
    return port_ > 0;
  }

  void stop() { program_.stop(); }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/cgi/u"; }
  const std::string& root() const { return root_.path(); }
  std::string log() const { return readFile(root() + "/server.log"); }

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

 private:
  static void mkdir(const char* path) { ::mkdir(path, 0755); }

  TempDir root_;
  std::vector<std::string> args_;
  BackgroundProgram program_;
  int port_ = 0;
};

#endif
