#ifndef TESTS_SUPPORT_TESTENV_H
#define TESTS_SUPPORT_TESTENV_H
// Small services tests need on every system: environment variables, empty
// temporary files, the working directory and the home directory's variables.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace testenv {

inline void setVariable(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

inline void unsetVariable(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");  // an empty value removes the variable here
#else
  unsetenv(name);
#endif
}

// Keeps the variable's value and puts it back on destruction.
class SavedVariable {
 public:
  explicit SavedVariable(const char* name) : name_(name) {
    const char* value = getenv(name);
    had_ = value != nullptr;
    if (had_) value_ = value;
  }
  ~SavedVariable() {
    if (had_)
      setVariable(name_.c_str(), value_.c_str());
    else
      unsetVariable(name_.c_str());
  }
  SavedVariable(const SavedVariable&) = delete;
  SavedVariable& operator=(const SavedVariable&) = delete;

 private:
  std::string name_;
  std::string value_;
  bool had_ = false;
};

// A name under the temporary directory that nothing uses yet.
inline std::string uniqueTempPath(const char* prefix) {
  static std::mt19937_64 random{std::random_device{}()};
  std::filesystem::path dir = std::filesystem::temp_directory_path();
  for (;;) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
    std::filesystem::path candidate = dir / (std::string(prefix) + suffix);
    std::error_code ignored;
    if (!std::filesystem::exists(candidate, ignored)) return candidate.string();
  }
}

// A new empty file under the temporary directory.
inline std::string makeTempFile(const char* prefix) {
  std::string path = uniqueTempPath(prefix);
  if (FILE* f = std::fopen(path.c_str(), "wb")) std::fclose(f);
  return path;
}

inline std::string currentDirectory() {
  std::error_code ignored;
  return std::filesystem::current_path(ignored).string();
}

// Points the home directory at path, as the system names it.
inline void setHome(const std::string& path) {
#ifdef _WIN32
  // Drive and path apart, as a log-on sets them ("C:" and "\Users\x").
  std::string drive = path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
  setVariable("HOMEDRIVE", drive.c_str());
  setVariable("HOMEPATH", path.substr(drive.size()).c_str());
#else
  setVariable("HOME", path.c_str());
#endif
}

// True when the program runs under Wine rather than on Windows itself (Wine's
// own library says so). Only used to skip what Wine does not emulate.
inline bool runningUnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace testenv

#endif
