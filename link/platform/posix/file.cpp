// POSIX backend of the file and directory service.
#include "../file.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace platform {

namespace {

SysError fromErrno(int err) {
  switch (err) {
    case 0: return SysError::None;
    case ENOENT: return SysError::NotFound;
    case EACCES:
    case EPERM:
    case EROFS: return SysError::Access;
    case EEXIST: return SysError::Exists;
    default: return SysError::Other;
  }
}

}  // namespace

FileHandle fileOpen(const char* path, OpenMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::Read: flags |= O_RDONLY; break;
    case OpenMode::Write: flags |= O_WRONLY | O_CREAT | O_TRUNC | O_DSYNC; break;
    case OpenMode::Append: flags |= O_RDWR | O_CREAT | O_DSYNC; break;
  }
  int fd;
  do {
    fd = ::open(path, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kNoFile;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kNoFile;
  }
  if (mode == OpenMode::Append && lseek(fd, 0, SEEK_END) < 0) {
    ::close(fd);
    return kNoFile;
  }
  return fd;
}

bool fileClose(FileHandle file) { return ::close(static_cast<int>(file)) == 0; }

SysError fileRead(FileHandle file, void* buffer, size_t count, size_t* done) {
  *done = 0;
  ssize_t n;
  do {
    n = ::read(static_cast<int>(file), buffer, count);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return fromErrno(errno);
  *done = static_cast<size_t>(n);
  return SysError::None;
}

SysError fileWrite(FileHandle file, const void* buffer, size_t count, size_t* done) {
  *done = 0;
  ssize_t n;
  do {
    n = ::write(static_cast<int>(file), buffer, count);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return fromErrno(errno);
  *done = static_cast<size_t>(n);
  return SysError::None;
}

bool fileSize(FileHandle file, uint64_t* size) {
  struct stat st;
  if (fstat(static_cast<int>(file), &st) != 0) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool filePosition(FileHandle file, uint64_t* position) {
  off_t at = lseek(static_cast<int>(file), 0, SEEK_CUR);
  if (at < 0) return false;
  *position = static_cast<uint64_t>(at);
  return true;
}

bool fileSetPosition(FileHandle file, uint64_t position) {
  return lseek(static_cast<int>(file), static_cast<off_t>(position), SEEK_SET) >= 0;
}

SysError fileDelete(const char* path) {
  struct stat st;
  if (lstat(path, &st) == 0 && S_ISDIR(st.st_mode)) return SysError::Other;
  return ::unlink(path) == 0 ? SysError::None : fromErrno(errno);
}

FileHandle fileCreateTemporary(const char* directory, const char* base, std::string* path) {
  static std::atomic<unsigned> counter{0};
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  unsigned long seed = static_cast<unsigned long>(now.tv_nsec) ^
                       (static_cast<unsigned long>(getpid()) << 16);
  for (int attempt = 0; attempt < 100; ++attempt) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull + counter++;
    char suffix[16];
    snprintf(suffix, sizeof suffix, "%06lx", (seed >> 24) & 0xFFFFFF);
    std::string candidate = std::string(directory) + "/." + base + ".tmp-" + suffix;
    int fd;
    do {
      fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      *path = candidate;
      return fd;
    }
    if (errno != EEXIST) return kNoFile;
  }
  return kNoFile;
}

SysError fileWriteAll(FileHandle file, const void* buffer, size_t count, size_t* done) {
  *done = 0;
  const char* at = static_cast<const char*>(buffer);
  while (*done < count) {
    size_t step = 0;
    SysError err = fileWrite(file, at + *done, count - *done, &step);
    if (err != SysError::None) return err;
    if (step == 0) return SysError::Other;
    *done += step;
  }
  return SysError::None;
}

SysError fileSync(FileHandle file) {
  int result;
  do {
    result = ::fsync(static_cast<int>(file));
  } while (result != 0 && errno == EINTR);
  return result == 0 ? SysError::None : fromErrno(errno);
}

SysError fileRename(const char* from, const char* to) {
  return ::rename(from, to) == 0 ? SysError::None : fromErrno(errno);
}

SysError directorySync(const char* path) {
  int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return fromErrno(errno);
  SysError err = fileSync(fd);
  ::close(fd);
  return err;
}

PathKind pathKind(const char* path) {
  struct stat st;
  if (::stat(path, &st) != 0) return PathKind::None;
  return S_ISDIR(st.st_mode) ? PathKind::Directory : PathKind::File;
}

SysError directoryCreate(const char* path, int mode) {
  return ::mkdir(path, static_cast<mode_t>(mode)) == 0 ? SysError::None : fromErrno(errno);
}

SysError directoryRemove(const char* path) {
  return ::rmdir(path) == 0 ? SysError::None : fromErrno(errno);
}

bool directoryRead(const char* path, std::vector<DirectoryItem>* items) {
  items->clear();
  DIR* dir = opendir(path);
  if (!dir) return false;
  int dirFd = dirfd(dir);
  errno = 0;
  while (struct dirent* entry = readdir(dir)) {
    DirectoryItem item;
    item.name = entry->d_name;
    item.size = 0;
    item.isDirectory = false;
    struct stat st;
    if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      item.size = static_cast<uint64_t>(st.st_size);
      item.isDirectory = S_ISDIR(st.st_mode);
    }
    items->push_back(std::move(item));
    errno = 0;
  }
  bool ok = errno == 0;
  closedir(dir);
  return ok;
}

bool currentDirectory(char* buffer, size_t size) {
  return ::getcwd(buffer, size) != nullptr;
}

bool executablePath(char* buffer, size_t size) {
  if (size == 0) return false;
  ssize_t n = ::readlink("/proc/self/exe", buffer, size);
  if (n < 0 || static_cast<size_t>(n) >= size) return false;  // failed or cut short
  buffer[n] = '\0';
  return true;
}

const char* environmentValue(const char* name) { return ::getenv(name); }

bool homeDirectory(std::string* path) {
  const char* home = ::getenv("HOME");
  if (!home || !*home) return false;
  *path = home;
  return true;
}

}  // namespace platform
