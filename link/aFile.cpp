// A small file API over operating-system handles. Every record carries the
// check word 0xFEED while it is valid.
#include "aFile.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "aDirectory.h"
#include "platform/file.h"

namespace {

const uint32_t kFileCheck = 0xFEED;
// One aFile_Printf call writes at most this many characters.
const size_t kPrintfLimit = 65536;

}  // namespace

struct aFile {
  uint32_t check;
  platform::FileHandle handle;
  aFileMode mode;
};

namespace {

bool isValid(aFileRef file) { return file && file->check == kFileCheck; }

bool canRead(aFileRef file) { return file->mode != aFileModeWrite; }

bool canWrite(aFileRef file) { return file->mode != aFileModeRead; }

}  // namespace

bool aFile_Exists(const char* path) {
  return path && platform::pathKind(path) == platform::PathKind::File;
}

aFileRef aFile_Open(const char* path, aFileMode mode) {
  if (!path || strlen(path) > aPATH_MAX) return nullptr;
  platform::OpenMode openMode;
  switch (mode) {
    case aFileModeRead: openMode = platform::OpenMode::Read; break;
    case aFileModeWrite: openMode = platform::OpenMode::Write; break;
    case aFileModeAppend: openMode = platform::OpenMode::Append; break;
    default: return nullptr;
  }
  aFile* file = new (std::nothrow) aFile;
  if (!file) return nullptr;
  file->handle = platform::fileOpen(path, openMode);
  if (file->handle == platform::kNoFile) {
    delete file;
    return nullptr;
  }
  file->check = kFileCheck;
  file->mode = mode;
  return file;
}

aErr aFile_Close(aFileRef* ref) {
  if (!ref || !isValid(*ref)) return aErrParam;
  aFile* file = *ref;
  platform::fileClose(file->handle);
  file->check = 0;
  delete file;
  *ref = nullptr;
  return aErrNone;
}

aErr aFile_Read(aFileRef file, void* buffer, size_t count, size_t* read) {
  if (read) *read = 0;
  if (!isValid(file) || !buffer) return aErrParam;
  if (!canRead(file)) return aErrMode;
  size_t done = 0;
  platform::SysError err = platform::fileRead(file->handle, buffer, count, &done);
  if (read) *read = done;
  if (err != platform::SysError::None) return aErrRead;
  if (done == 0 && count > 0) return aErrEOF;
  return aErrNone;
}

aErr aFile_Write(aFileRef file, const void* buffer, size_t count, size_t* written) {
  if (written) *written = 0;
  if (!isValid(file) || (!buffer && count)) return aErrParam;
  if (!canWrite(file)) return aErrMode;
  size_t done = 0;
  platform::SysError err = platform::fileWrite(file->handle, buffer, count, &done);
  if (written) *written = done;
  return err == platform::SysError::None ? aErrNone : aErrWrite;
}

aErr aFile_ReadLine(aFileRef file, char* buffer, size_t size, size_t* length) {
  if (length) *length = 0;
  if (buffer && size) buffer[0] = '\0';
  if (!isValid(file) || !buffer || size < 2) return aErrParam;
  if (!canRead(file)) return aErrMode;

  size_t got = 0;
  if (platform::fileRead(file->handle, buffer, size - 1, &got) != platform::SysError::None) {
    buffer[0] = '\0';
    return aErrIO;
  }
  if (got == 0) return aErrEOF;

  const char* lineFeed = static_cast<const char*>(memchr(buffer, '\n', got));
  size_t line = lineFeed ? static_cast<size_t>(lineFeed - buffer) + 1 : got;
  buffer[line] = '\0';
  if (length) *length = line;
  if (line < got) {
    // Step back so the next read starts just after the line feed.
    uint64_t at = 0;
    if (!platform::filePosition(file->handle, &at) ||
        !platform::fileSetPosition(file->handle, at - (got - line)))
      return aErrIO;
  }
  return (!lineFeed && got == size - 1) ? aErrOverrun : aErrNone;
}

aErr aFile_Printf(aFileRef file, const char* format, ...) {
  if (!isValid(file) || !format) return aErrParam;
  if (!canWrite(file)) return aErrMode;
  std::vector<char> text(kPrintfLimit);
  va_list args;
  va_start(args, format);
  int n = vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  if (n < 0) return aErrIO;
  size_t count = static_cast<size_t>(n) < text.size() ? static_cast<size_t>(n) : text.size() - 1;
  return aFile_Write(file, text.data(), count, nullptr);
}

namespace {

// Writes, flushes and closes the temporary file; false on any failure.
bool fillTemporary(platform::FileHandle handle, const void* bytes, size_t count) {
  size_t done = 0;
  bool ok = platform::fileWriteAll(handle, bytes, count, &done) == platform::SysError::None &&
            platform::fileSync(handle) == platform::SysError::None;
  return platform::fileClose(handle) && ok;
}

// Temporaries of this file left by a process that was killed while writing
// it; the one being written now gets a new name.
void removeLeftTemporaries(const std::string& directory, const std::string& base) {
  const std::string prefix = "." + base + ".tmp-";
  std::vector<platform::DirectoryItem> items;
  if (!platform::directoryRead(directory.c_str(), &items)) return;
  for (const platform::DirectoryItem& item : items) {
    if (!item.isDirectory && item.name.compare(0, prefix.size(), prefix) == 0)
      (void)platform::fileDelete((directory + aDIR_SEPARATOR_STR + item.name).c_str());
  }
}

}  // namespace

aErr aFile_WriteAtomic(const char* path, const void* bytes, size_t count) {
  if (!path || !*path || strlen(path) > aPATH_MAX || (!bytes && count)) return aErrParam;
  const std::string whole = path;
  const size_t slash = whole.rfind(aDIR_SEPARATOR);
  const std::string directory = slash == std::string::npos ? "." : whole.substr(0, slash ? slash : 1);
  const std::string base = slash == std::string::npos ? whole : whole.substr(slash + 1);
  if (base.empty()) return aErrParam;
  // A directory at the path can never be replaced by the file.
  if (platform::pathKind(path) == platform::PathKind::Directory) return aErrNotFound;
  removeLeftTemporaries(directory, base);
  std::string temporary;
  platform::FileHandle handle =
      platform::fileCreateTemporary(directory.c_str(), base.c_str(), &temporary);
  if (handle == platform::kNoFile) return aErrNotFound;
  if (!fillTemporary(handle, bytes, count) ||
      platform::fileRename(temporary.c_str(), path) != platform::SysError::None) {
    platform::fileDelete(temporary.c_str());
    return aErrWrite;
  }
  // The rename is done; flushing the directory only makes it durable sooner.
  (void)platform::directorySync(directory.c_str());
  return aErrNone;
}

aErr aFile_Seek(aFileRef file, int64_t offset, int origin) {
  if (!isValid(file)) return aErrParam;
  uint64_t size = 0, position = 0;
  if (!platform::fileSize(file->handle, &size) || !platform::filePosition(file->handle, &position))
    return aErrIO;
  int64_t base = 0;
  if (origin == 1) base = static_cast<int64_t>(position);
  if (origin == 2) base = static_cast<int64_t>(size);
  if ((offset > 0 && base > INT64_MAX - offset)) return aErrRange;
  int64_t target = base + offset;
  if (target < 0 || static_cast<uint64_t>(target) > size) return aErrRange;
  return platform::fileSetPosition(file->handle, static_cast<uint64_t>(target)) ? aErrNone : aErrIO;
}

aErr aFile_GetSize(aFileRef file, uint64_t* size) {
  if (size) *size = 0;
  if (!isValid(file) || !size) return aErrParam;
  return platform::fileSize(file->handle, size) ? aErrNone : aErrIO;
}

aErr aFile_GetPosition(aFileRef file, uint64_t* position) {
  if (position) *position = 0;
  if (!isValid(file) || !position) return aErrParam;
  return platform::filePosition(file->handle, position) ? aErrNone : aErrIO;
}

aErr aFile_Delete(const char* path) {
  if (!path) return aErrParam;
  switch (platform::fileDelete(path)) {
    case platform::SysError::None: return aErrNone;
    case platform::SysError::NotFound: return aErrNotFound;
    case platform::SysError::Access: return aErrPermission;
    default: return aErrIO;
  }
}

aErr aFile_SetUnbuffered(aFileRef) { return aErrMode; }
