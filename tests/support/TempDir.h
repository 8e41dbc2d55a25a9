#ifndef TESTS_SUPPORT_TEMPDIR_H
#define TESTS_SUPPORT_TEMPDIR_H
// A fresh directory under the system's temporary directory (TMPDIR where it
// is set), removed with everything below it when the object goes.
#include <string>

class TempDir {
 public:
  explicit TempDir(const char* prefix = "klv-test-");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // The path of name (relative to the directory).
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Writes bytes into the file name (relative to the directory).
  std::string writeFile(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

#endif
