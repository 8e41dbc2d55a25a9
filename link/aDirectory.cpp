// Directory and path operations. The library joins and splits paths at
// aDIR_SEPARATOR only; every path buffer it declares holds aPATH_MAX bytes.
#include "aDirectory.h"

#include <stdarg.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform/file.h"

namespace {

const int kMaxPathParts = 10;

bool endsWithSeparator(const char* text, size_t length) {
  return length > 0 && text[length - 1] == aDIR_SEPARATOR;
}

// Appends one further part to the path in buffer (see aDirectory_BuildPath).
aErr appendPart(char* buffer, size_t size, const char* part) {
  size_t length = strlen(buffer);
  size_t room = size - length - 1;
  if (room > 1 && !endsWithSeparator(buffer, length) && part[0] != aDIR_SEPARATOR) {
    buffer[length++] = aDIR_SEPARATOR;
    buffer[length] = '\0';
    // Keeps a margin of three characters beyond the separator itself.
    room = room > 4 ? room - 4 : 0;
  }
  size_t partLength = strlen(part);
  if (partLength >= room) return aErrOverrun;
  memcpy(buffer + length, part, partLength + 1);
  return aErrNone;
}

aErr buildPathV(char* buffer, size_t size, const char* first, va_list args) {
  if (!buffer || size == 0) return aErrParam;
  // Checked before the buffer is emptied, so an aliased first part survives.
  if (buffer == first) return aErrParam;
  buffer[0] = '\0';
  if (!first) return aErrParam;

  const char* parts[kMaxPathParts];
  int count = 0;
  bool aliased = false;
  for (const char* part = va_arg(args, const char*); part; part = va_arg(args, const char*)) {
    if (part == buffer) aliased = true;
    if (count < kMaxPathParts) parts[count] = part;
    ++count;
  }
  if (1 + count > kMaxPathParts || aliased) return aErrParam;

  size_t firstLength = strlen(first);
  if (firstLength >= size - 1) return aErrOverrun;
  memcpy(buffer, first, firstLength + 1);
  for (int i = 0; i < count; ++i) {
    aErr err = appendPart(buffer, size, parts[i]);
    if (err != aErrNone) return err;
  }
  return aErrNone;
}

aErr joinInto(char* buffer, size_t size, const char* first, const char* second) {
  return aDirectory_BuildPath(buffer, size, first, second, static_cast<const char*>(nullptr));
}

aErr fromSysError(platform::SysError err) {
  switch (err) {
    case platform::SysError::None: return aErrNone;
    case platform::SysError::NotFound: return aErrNotFound;
    case platform::SysError::Access: return aErrPermission;
    default: return aErrIO;
  }
}

// Creates path unless it is a directory already; false on a failure whose
// cause is anything but "already exists".
bool makeIfMissing(const char* path, int mode) {
  if (aDirectory_Exists(path)) return true;
  platform::SysError err = platform::directoryCreate(path, mode);
  return err == platform::SysError::None || err == platform::SysError::Exists;
}

// The entries of path with their full paths (at most aPATH_MAX bytes each).
aErr readEntries(const char* path, std::vector<platform::DirectoryItem>* items,
                 std::vector<std::string>* fullPaths) {
  char buffer[aPATH_MAX];
  // The same room check the search pattern "path/*" gets.
  if (!path || joinInto(buffer, sizeof buffer, path, "*") != aErrNone) return aErrParam;
  if (!platform::directoryRead(path, items)) return aErrParam;
  fullPaths->clear();
  for (const platform::DirectoryItem& item : *items) {
    aErr err = joinInto(buffer, sizeof buffer, path, item.name.c_str());
    if (err != aErrNone) return err;
    fullPaths->push_back(buffer);
  }
  return aErrNone;
}

bool isDotEntry(const std::string& name) { return name == "." || name == ".."; }

}  // namespace

bool aDirectory_Exists(const char* path) {
  return path && platform::pathKind(path) == platform::PathKind::Directory;
}

aErr aDirectory_Ensure(const char* path, int mode) {
  if (!path || !*path) return aErrParam;
  if (aDirectory_Exists(path)) return aErrNone;

  std::string work(path);
  for (size_t at = work.find(aDIR_SEPARATOR); at != std::string::npos;
       at = work.find(aDIR_SEPARATOR, at + 1)) {
    // A separator at the start, or right after another one, ends no prefix.
    if (at == 0 || work[at - 1] == aDIR_SEPARATOR) continue;
    std::string prefix = work.substr(0, at);
    if (!makeIfMissing(prefix.c_str(), mode)) return aErrPermission;
  }
  if (!makeIfMissing(path, mode)) return aErrPermission;
  // "Already exists" is only success when what exists is a directory.
  return aDirectory_Exists(path) ? aErrNone : aErrPermission;
}

aErr aDirectory_List(const char* path, aDirectoryListProc callback, void* ref) {
  if (!callback) return aErrParam;
  std::vector<platform::DirectoryItem> items;
  std::vector<std::string> fullPaths;
  aErr err = readEntries(path, &items, &fullPaths);
  if (err != aErrNone) return err;
  for (size_t i = 0; i < items.size(); ++i) {
    aDirectoryEntry entry;
    entry.path = fullPaths[i].c_str();
    entry.size = static_cast<uint32_t>(items[i].size);
    entry.flags = items[i].isDirectory ? 1u : 0u;
    if (!callback(&entry, ref)) break;
  }
  return aErrNone;
}

aErr aDirectory_Delete(const char* path) {
  if (!path) return aErrParam;
  return platform::directoryRemove(path) == platform::SysError::None ? aErrNone : aErrUnknown;
}

aErr aDirectory_DeleteTree(const char* path) {
  std::vector<platform::DirectoryItem> items;
  std::vector<std::string> fullPaths;
  aErr err = readEntries(path, &items, &fullPaths);
  if (err != aErrNone) return err;
  aErr fileError = aErrNone;
  for (size_t i = 0; i < items.size() && fileError == aErrNone; ++i) {
    if (isDotEntry(items[i].name)) continue;
    if (items[i].isDirectory) {
      aDirectory_DeleteTree(fullPaths[i].c_str());  // what is left shows when this one is removed
    } else {
      fileError = fromSysError(platform::fileDelete(fullPaths[i].c_str()));
    }
  }
  bool removed = platform::directoryRemove(path) == platform::SysError::None;
  if (fileError != aErrNone) return fileError;
  return removed ? aErrNone : aErrUnknown;
}

aErr aDirectory_CWD(char* buffer, size_t size) {
  if (!buffer || size == 0) return aErrParam;
  return platform::currentDirectory(buffer, size) ? aErrNone : aErrParam;
}

aErr aDirectory_ExecutableFilePath(char* buffer, size_t size) {
  if (!buffer || size == 0) return aErrParam;
  return platform::executablePath(buffer, size) ? aErrNone : aErrRead;
}

aErr aDirectory_GetHomeDirectory(char* buffer, size_t size) {
  if (!buffer || size == 0) return aErrParam;
  buffer[0] = '\0';
  std::string home;
  if (!platform::homeDirectory(&home)) return aErrNotFound;
  return aDirectory_BuildPath(buffer, size, home.c_str(), static_cast<const char*>(nullptr));
}

aErr aDirectory_JoinPath(char* buffer, size_t size, const char* first, const char* second) {
  if (!second) return aErrParam;
  return joinInto(buffer, size, first, second);
}

aErr aDirectory_BuildPath(char* buffer, size_t size, const char* first, ...) {
  va_list args;
  va_start(args, first);
  aErr err = buildPathV(buffer, size, first, args);
  va_end(args);
  return err;
}
