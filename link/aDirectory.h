#ifndef KELVARION_ADIRECTORY_H
#define KELVARION_ADIRECTORY_H
/* Directory and path operations. Paths are joined with the platform's
 * separator (aDIR_SEPARATOR); path buffers hold aPATH_MAX characters. */
#include "aError.h"

#define aDIR_SEPARATOR '/'
#define aDIR_SEPARATOR_STR "/"

typedef struct aDirectoryEntry {
  const char* path;   /* full path, valid only during the callback */
  uint32_t size;      /* low 32 bits of the size in bytes */
  uint32_t flags;     /* 1 for a directory, 0 otherwise */
} aDirectoryEntry;

/* Returns true to go on, false to stop the listing. */
typedef bool (*aDirectoryListProc)(const aDirectoryEntry* entry, void* ref);

KLV_EXTERN_C_BEGIN
KLV_EXPORT bool aDirectory_Exists(const char* path);
KLV_EXPORT aErr aDirectory_Ensure(const char* path, int mode);
KLV_EXPORT aErr aDirectory_List(const char* path, aDirectoryListProc callback, void* ref);
KLV_EXPORT aErr aDirectory_Delete(const char* path);
KLV_EXPORT aErr aDirectory_DeleteTree(const char* path);
KLV_EXPORT aErr aDirectory_CWD(char* buffer, size_t size);
KLV_EXPORT aErr aDirectory_ExecutableFilePath(char* buffer, size_t size);
KLV_EXPORT aErr aDirectory_GetHomeDirectory(char* buffer, size_t size);
KLV_EXPORT aErr aDirectory_JoinPath(char* buffer, size_t size, const char* first, const char* second);
/* Joins up to ten parts (first included); the list ends with a null pointer. */
KLV_EXPORT aErr aDirectory_BuildPath(char* buffer, size_t size, const char* first, ...);
KLV_EXTERN_C_END

#endif
