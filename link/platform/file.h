#ifndef KELVARION_PLATFORM_FILE_H
#define KELVARION_PLATFORM_FILE_H
// Files, directories and process paths: the operating-system side of aFile
// and aDirectory. One backend per system lives under platform/<system>/.
//
// Backend contract (platform/<system>/file.cpp): every call is synchronous and
// returns when the system has answered (no time-outs: local files only); none
// keeps state between calls, so any thread may call any function on its own
// handles. Failures are returned, never thrown or printed: bool false,
// kNoFile, or a SysError reduced from the system's code (NotFound, Access,
// Exists, else Other). Paths go to the system as given; interrupted system
// calls are retried, never reported.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

// How a file is opened (the three aFile modes):
//  Read   - existing file only, read access;
//  Write  - created or truncated, write access, writes go through to the disk;
//  Append - opened or created, read and write access, writes go through,
//           positioned at the end.
enum class OpenMode { Read, Write, Append };

// Why a system call failed, reduced to what the library distinguishes.
enum class SysError { None, NotFound, Access, Exists, Other };

FileHandle fileOpen(const char* path, OpenMode mode);
bool fileClose(FileHandle file);
// One system read or write; *done receives the count transferred.
SysError fileRead(FileHandle file, void* buffer, size_t count, size_t* done);
SysError fileWrite(FileHandle file, const void* buffer, size_t count, size_t* done);
bool fileSize(FileHandle file, uint64_t* size);
bool filePosition(FileHandle file, uint64_t* position);
bool fileSetPosition(FileHandle file, uint64_t position);
SysError fileDelete(const char* path);

// A new file in directory, named "." + base + ".tmp-" and a unique suffix,
// created exclusively (never an existing file or link) with the permissions
// an ordinary new file gets; its path goes to *path. kNoFile on failure.
FileHandle fileCreateTemporary(const char* directory, const char* base, std::string* path);
// Writes all of count bytes, retrying short writes; *done receives the count
// written before a failure.
SysError fileWriteAll(FileHandle file, const void* buffer, size_t count, size_t* done);
// Flushes the file's data and metadata to the disk.
SysError fileSync(FileHandle file);
// Renames from over to in one step; a link named to is replaced, not
// followed.
SysError fileRename(const char* from, const char* to);
// Flushes a directory's entries (a rename inside it) to the disk.
SysError directorySync(const char* path);

enum class PathKind { None, File, Directory };
// What path names; a symbolic link counts as what it points to.
PathKind pathKind(const char* path);

SysError directoryCreate(const char* path, int mode);
SysError directoryRemove(const char* path);

struct DirectoryItem {
  std::string name;   // entry name only, "." and ".." included
  uint64_t size;      // size in bytes
  bool isDirectory;   // a real directory (a link to one is not)
};
// All entries of a directory in the order the system gives them; false when
// the directory cannot be read.
bool directoryRead(const char* path, std::vector<DirectoryItem>* items);

// Current working directory / path of the running program; false when it
// does not fit into size bytes (terminator included) or cannot be had.
bool currentDirectory(char* buffer, size_t size);
bool executablePath(char* buffer, size_t size);
// Value of an environment variable, null when unset.
const char* environmentValue(const char* name);
// The user's home directory as the system names it; false when unknown.
bool homeDirectory(std::string* path);

}  // namespace platform

#endif
