#ifndef UPDATER_TESTS_TESTFILES_H
#define UPDATER_TESTS_TESTFILES_H
// Helpers shared by the BIRD, store, SDP and tool tests: whole-file access
// and a capture of the diagnostics (the temporary directory is TempDir.h).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TempDir.h"
#include "UpdaterDisplay.h"

namespace testfiles {

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<uint8_t> readBytes(const std::string& path) {
  std::string text = readText(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Collects what debugPrint writes while it lives (channels are only ever
// added, so the ones a test enables stay on for the rest of the process).
class DebugCapture {
 public:
  explicit DebugCapture(uint32_t channels) : file_(std::tmpfile()) {
    addDebugChannels(channels);
    setDebugStream(file_);
  }
  ~DebugCapture() {
    setDebugStream(nullptr);
    if (file_) std::fclose(file_);
  }
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  std::string text() const {
    std::fflush(file_);
    std::rewind(file_);
    std::string out;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0) out.append(chunk, n);
    std::fseek(file_, 0, SEEK_END);
    return out;
  }
  bool contains(const std::string& part) const { return text().find(part) != std::string::npos; }

 private:
  FILE* file_;
};

}  // namespace testfiles

#endif
