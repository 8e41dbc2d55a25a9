#include "TempDir.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "TestEnv.h"

TempDir::TempDir(const char* prefix) {
  // create_directory is false when the name was taken in the meantime.
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    std::string candidate = testenv::uniqueTempPath(prefix);
    if (std::filesystem::create_directory(candidate)) path_ = candidate;
  }
  if (path_.empty()) throw std::runtime_error("no temporary directory");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::writeFile(const std::string& name, const std::string& bytes) const {
  std::string full = file(name);
  FILE* f = fopen(full.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + full);
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  return full;
}
