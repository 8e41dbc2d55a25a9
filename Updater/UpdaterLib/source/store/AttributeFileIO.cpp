// Reading and writing attribute files with aFile_*.
#include <cerrno>

#include "AttributeFile.h"
#include "UpdaterDisplay.h"
#include "aFile.h"

AttributeFile::AttributeFile(const char* path) {
  if (path) read(path);
}

aErr AttributeFile::read(const std::string& path) {
  aFileRef file = aFile_Open(path.c_str(), aFileModeRead);
  if (!file) {
    debugPrint(DEBUG_Attributes, "Attibutes: Error - cannot open attributes file: '%s' (%d)\n",
               path.c_str(), errno);
    set(ATTR_CREATED_TIME, localTimeText());
    return write(path.c_str());
  }
  fileName_ = path;
  dirty_ = false;
  char line[LINE_BUFFER_SIZE];
  size_t length = 0;
  for (;;) {
    aErr err = aFile_ReadLine(file, line, sizeof line, &length);
    if (err == aErrOverrun) {
      // A line too long for the buffer: skip to its line feed and go on.
      while (err == aErrOverrun) err = aFile_ReadLine(file, line, sizeof line, &length);
      if (err != aErrNone) break;
      continue;
    }
    if (err != aErrNone) break;
    parseInto(line, length);
  }
  aFile_Close(&file);
  return aErrNone;
}

aErr AttributeFile::write(const char* path) {
  if (path) {
    fileName_ = path;
  } else if (fileName_.empty()) {
    fileName_ = ".settings";
    debugPrint(DEBUG_Attributes, "Attibutes: no filename given for attributes, using default:[%s]\n",
               fileName_.c_str());
  }
  if (dirty_) set(ATTR_UPDATED_TIME, localTimeText());
  aFileRef file = aFile_Open(fileName_.c_str(), aFileModeWrite);
  if (!file) {
    debugPrint(DEBUG_Attributes, "Attibutes: Error - cannot open attributes file for writting: '%s' (%d)\n",
               fileName_.c_str(), errno);
    return aErrNotFound;
  }
  aErr err = aErrNone;
  for (const auto& item : items_) {
    err = aFile_Printf(file, "%s=%s\n", item.first.c_str(), item.second.c_str());
    if (err != aErrNone) break;
  }
  aFile_Close(&file);
  if (err != aErrNone) return aErrWrite;
  dirty_ = false;
  return aErrNone;
}
