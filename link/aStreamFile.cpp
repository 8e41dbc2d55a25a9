/* File transports: a stream that reads a file and one that writes one. */
#include "internal/aStreamPrivate.h"
#include "aFile.h"

#include <string.h>

namespace {

aErr fileGet(uint8_t* byte, void* ref) {
  size_t read = 0;
  aErr err = aFile_Read(static_cast<aFileRef>(ref), byte, 1, &read);
  if (err == aErrEOF)
    return aErrEOF;
  if (err != aErrNone)
    return aErrRead;
  return read == 1 ? aErrNone : aErrEOF;
}

aErr fileWrite(const uint8_t* buffer, size_t count, void* ref) {
  size_t written = 0;
  aErr err = aFile_Write(static_cast<aFileRef>(ref), buffer, count, &written);
  return err == aErrNone && written == count ? aErrNone : aErrWrite;
}

aErr filePut(uint8_t byte, void* ref) {
  return fileWrite(&byte, 1, ref);
}

aErr fileDestroy(void* ref) {
  aFileRef file = static_cast<aFileRef>(ref);
  return aFile_Close(&file);
}

aErr openFileStream(const char* path, aFileMode mode, aStreamRef* stream) {
  if (!stream)
    return aErrResource;
  *stream = nullptr;
  if (!path || strlen(path) > aPATH_MAX)
    return aErrResource;
  aFileRef file = aFile_Open(path, mode);
  if (!file)
    return aErrResource;
  if (mode == aFileModeRead)
    *stream = aStream_Create(fileGet, nullptr, nullptr, fileDestroy, file);
  else
    *stream = aStream_Create(nullptr, filePut, fileWrite, fileDestroy, file);
  if (!*stream) {
    aFile_Close(&file);
    return aErrResource;
  }
  return aErrNone;
}

}  // namespace

aErr aStream_CreateFileInput(const char* path, aStreamRef* stream) {
  return openFileStream(path, aFileModeRead, stream);
}

aErr aStream_CreateFileOutput(const char* path, aStreamRef* stream) {
  return openFileStream(path, aFileModeWrite, stream);
}
