// Windows backend of the file and directory service. Paths arrive as UTF-8
// and are used as wide-character paths with the system.
#include "../file.h"

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <atomic>

#include "platform/win32/text_win32.h"

namespace platform {

namespace {

// UTF-8 to UTF-16; false for text that is not valid UTF-8.
bool widen(const char* text, std::wstring* out) {
  out->clear();
  if (!text) return false;
  if (!*text) return true;
  int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (length <= 0) return false;
  out->resize(static_cast<size_t>(length));
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &(*out)[0], length) != length) return false;
  out->resize(static_cast<size_t>(length - 1));
  return true;
}

// UTF-16 to UTF-8 into buffer of size bytes (terminator included).
bool narrowInto(const wchar_t* text, char* buffer, size_t size) {
  if (size == 0) return false;
  int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 0 || static_cast<size_t>(needed) > size) return false;
  return WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, needed, nullptr, nullptr) == needed;
}

SysError fromLastError(DWORD err) {
  switch (err) {
    case ERROR_SUCCESS: return SysError::None;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH: return SysError::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return SysError::Access;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return SysError::Exists;
    default: return SysError::Other;
  }
}

HANDLE toHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

FileHandle fileOpen(const char* path, OpenMode mode) {
  std::wstring wide;
  if (!widen(path, &wide) || wide.empty()) return kNoFile;
  DWORD access = 0, disposition = 0, flags = FILE_ATTRIBUTE_NORMAL;
  switch (mode) {
    case OpenMode::Read: access = GENERIC_READ; disposition = OPEN_EXISTING; break;
    case OpenMode::Write:
      access = GENERIC_WRITE;
      disposition = CREATE_ALWAYS;
      flags |= FILE_FLAG_WRITE_THROUGH;
      break;
    case OpenMode::Append:
      access = GENERIC_READ | GENERIC_WRITE;
      disposition = OPEN_ALWAYS;
      flags |= FILE_FLAG_WRITE_THROUGH;
      break;
  }
  // Shared like a POSIX descriptor: others may read, write, rename or delete.
  HANDLE handle = CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kNoFile;
  if (mode == OpenMode::Append && SetFilePointer(handle, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    CloseHandle(handle);
    return kNoFile;
  }
  return reinterpret_cast<FileHandle>(handle);
}

bool fileClose(FileHandle file) { return CloseHandle(toHandle(file)) != 0; }

SysError fileRead(FileHandle file, void* buffer, size_t count, size_t* done) {
  *done = 0;
  DWORD n = 0;
  DWORD ask = count > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<DWORD>(count);
  if (!ReadFile(toHandle(file), buffer, ask, &n, nullptr)) {
    DWORD err = GetLastError();
    if (err == ERROR_HANDLE_EOF || err == ERROR_BROKEN_PIPE) return SysError::None;
    return fromLastError(err);
  }
  *done = n;
  return SysError::None;
}

SysError fileWrite(FileHandle file, const void* buffer, size_t count, size_t* done) {
  *done = 0;
  DWORD n = 0;
  DWORD ask = count > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<DWORD>(count);
  if (!WriteFile(toHandle(file), buffer, ask, &n, nullptr)) return fromLastError(GetLastError());
  *done = n;
  return SysError::None;
}

bool fileSize(FileHandle file, uint64_t* size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(toHandle(file), &value)) return false;
  *size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

bool filePosition(FileHandle file, uint64_t* position) {
  LARGE_INTEGER zero, at;
  zero.QuadPart = 0;
  if (!SetFilePointerEx(toHandle(file), zero, &at, FILE_CURRENT)) return false;
  *position = static_cast<uint64_t>(at.QuadPart);
  return true;
}

bool fileSetPosition(FileHandle file, uint64_t position) {
  if (position > static_cast<uint64_t>(INT64_MAX)) return false;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(position);
  return SetFilePointerEx(toHandle(file), to, nullptr, FILE_BEGIN) != 0;
}

SysError fileDelete(const char* path) {
  std::wstring wide;
  if (!widen(path, &wide)) return SysError::NotFound;
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return SysError::Other;
  return DeleteFileW(wide.c_str()) ? SysError::None : fromLastError(GetLastError());
}

FileHandle fileCreateTemporary(const char* directory, const char* base, std::string* path) {
  static std::atomic<unsigned> counter{0};
  uint64_t seed = GetTickCount64() ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 16);
  for (int attempt = 0; attempt < 100; ++attempt) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull + counter++;
    char suffix[16];
    snprintf(suffix, sizeof suffix, "%06lx", static_cast<unsigned long>((seed >> 24) & 0xFFFFFF));
    std::string candidate = std::string(directory) + "/." + base + ".tmp-" + suffix;
    std::wstring wide;
    if (!widen(candidate.c_str(), &wide)) return kNoFile;
    // CREATE_NEW: never an existing file or link.
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      *path = candidate;
      return reinterpret_cast<FileHandle>(handle);
    }
    DWORD err = GetLastError();
    if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) return kNoFile;
  }
  return kNoFile;
}

SysError fileWriteAll(FileHandle file, const void* buffer, size_t count, size_t* done) {
  *done = 0;
  const char* bytes = static_cast<const char*>(buffer);
  while (*done < count) {
    size_t n = 0;
    SysError err = fileWrite(file, bytes + *done, count - *done, &n);
    if (err != SysError::None) return err;
    if (n == 0) return SysError::Other;
    *done += n;
  }
  return SysError::None;
}

SysError fileSync(FileHandle file) {
  return FlushFileBuffers(toHandle(file)) ? SysError::None : fromLastError(GetLastError());
}

SysError fileRename(const char* from, const char* to) {
  std::wstring wideFrom, wideTo;
  if (!widen(from, &wideFrom) || !widen(to, &wideTo)) return SysError::NotFound;
  // Replaces the target in one step and returns once the move is on the disk.
  return MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? SysError::None
             : fromLastError(GetLastError());
}

SysError directorySync(const char*) {
  // Directory entries cannot be flushed by a program here; the rename above
  // is written through already.
  return SysError::None;
}

PathKind pathKind(const char* path) {
  std::wstring wide;
  if (!widen(path, &wide) || wide.empty()) return PathKind::None;
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::None;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Directory : PathKind::File;
}

SysError directoryCreate(const char* path, int /*mode: no such thing here*/) {
  std::wstring wide;
  if (!widen(path, &wide) || wide.empty()) return SysError::NotFound;
  return CreateDirectoryW(wide.c_str(), nullptr) ? SysError::None : fromLastError(GetLastError());
}

SysError directoryRemove(const char* path) {
  std::wstring wide;
  if (!widen(path, &wide) || wide.empty()) return SysError::NotFound;
  return RemoveDirectoryW(wide.c_str()) ? SysError::None : fromLastError(GetLastError());
}

bool directoryRead(const char* path, std::vector<DirectoryItem>* items) {
  items->clear();
  std::wstring pattern;
  if (!widen(path, &pattern) || pattern.empty()) return false;
  if (pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    DirectoryItem item;
    item.name = narrow(found.cFileName);
    item.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    // A junction or symbolic link to a directory is not a real directory.
    item.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                       !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (item.isDirectory) item.size = 0;
    items->push_back(std::move(item));
  } while (FindNextFileW(search, &found));
  bool ok = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  return ok;
}

bool currentDirectory(char* buffer, size_t size) {
  wchar_t wide[MAX_PATH + 1];
  DWORD n = GetCurrentDirectoryW(MAX_PATH + 1, wide);
  if (n == 0 || n > MAX_PATH) return false;
  return narrowInto(wide, buffer, size);
}

bool executablePath(char* buffer, size_t size) {
  wchar_t wide[MAX_PATH + 1];
  DWORD n = GetModuleFileNameW(nullptr, wide, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return false;  // failed or cut short
  return narrowInto(wide, buffer, size);
}

const char* environmentValue(const char* name) { return ::getenv(name); }

bool homeDirectory(std::string* path) {
  // The profile's drive and path, as the system sets them at log-on.
  const char* drive = ::getenv("HOMEDRIVE");
  const char* rest = ::getenv("HOMEPATH");
  if (rest && *rest) {
    *path = std::string(drive ? drive : "") + rest;
    return true;
  }
  const char* profile = ::getenv("USERPROFILE");
  if (!profile || !*profile) return false;
  *path = profile;
  return true;
}

}  // namespace platform
