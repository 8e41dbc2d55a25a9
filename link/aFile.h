#ifndef KELVARION_AFILE_H
#define KELVARION_AFILE_H
/* A small file API over operating-system handles. */
#include "aError.h"

typedef struct aFile* aFileRef;

typedef enum aFileMode {
  aFileModeRead = 0,
  aFileModeWrite = 1,
  aFileModeAppend = 2
} aFileMode;

KLV_EXTERN_C_BEGIN
KLV_EXPORT bool aFile_Exists(const char* path);
KLV_EXPORT aFileRef aFile_Open(const char* path, aFileMode mode);
KLV_EXPORT aErr aFile_Close(aFileRef* file);
KLV_EXPORT aErr aFile_Read(aFileRef file, void* buffer, size_t count, size_t* read);
KLV_EXPORT aErr aFile_Write(aFileRef file, const void* buffer, size_t count, size_t* written);
KLV_EXPORT aErr aFile_ReadLine(aFileRef file, char* buffer, size_t size, size_t* length);
KLV_EXPORT aErr aFile_Printf(aFileRef file, const char* format, ...) KLV_PRINTF(2, 3);
/* origin 0 = start, 1 = current position, 2 = end. */
KLV_EXPORT aErr aFile_Seek(aFileRef file, int64_t offset, int origin);
KLV_EXPORT aErr aFile_GetSize(aFileRef file, uint64_t* size);
KLV_EXPORT aErr aFile_GetPosition(aFileRef file, uint64_t* position);
KLV_EXPORT aErr aFile_Delete(const char* path);
KLV_EXPORT aErr aFile_SetUnbuffered(aFileRef file);
/* Replaces the file at path with count bytes, all or nothing: they are
 * written to a new temporary file in the same directory, flushed to the disk
 * and renamed over path (a symbolic link at path is replaced, never written
 * through). On any failure the temporary file is removed and the old file is
 * left as it was. Temporaries of the same file left by a killed writer are
 * removed first. aErrNotFound when no file can be created there (no such
 * directory, or a directory stands at path), aErrWrite when writing, flushing or renaming fails, aErrParam for bad
 * arguments. */
KLV_EXPORT aErr aFile_WriteAtomic(const char* path, const void* bytes, size_t count);
KLV_EXTERN_C_END

#endif
