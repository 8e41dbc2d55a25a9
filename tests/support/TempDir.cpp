#include "TempDir.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "klv-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::writeFile(const std::string& name, const std::string& bytes) const {
  std::string full = join(name);
  FILE* f = fopen(full.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + full);
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  return full;
}
