// Reading and writing attribute files with aFile_*.
#include <cerrno>

#include "AttributeFile.h"
#include "UpdaterDisplay.h"
#include "aDirectory.h"
#include "aFile.h"

AttributeFile::AttributeFile(const char* path) {
  if (path) read(path);
}

aErr AttributeFile::read(const std::string& path) {
  aFileRef file = aFile_Open(path.c_str(), aFileModeRead);
  if (!file) {
    const int reason = errno;
    debugPrint(DEBUG_Attributes, "Attibutes: Error - cannot open attributes file: '%s' (%d)\n",
               path.c_str(), reason);
    if (aFile_Exists(path.c_str()) || aDirectory_Exists(path.c_str())) {
      // There but unreadable: its history must not be replaced by a fresh file.
      unreadable_ = path;
      return aErrPermission;
    }
    set(ATTR_CREATED_TIME, localTimeText());
    return write(path.c_str());
  }
  fileName_ = path;
  dirty_ = false;
  char line[LINE_BUFFER_SIZE];
  size_t length = 0;
  aErr result = aErrNone;
  for (;;) {
    aErr err = aFile_ReadLine(file, line, sizeof line, &length);
    if (err == aErrOverrun) {
      // A line too long for the buffer: skip to its line feed and go on.
      while (err == aErrOverrun) err = aFile_ReadLine(file, line, sizeof line, &length);
      if (err == aErrNone) continue;
    }
    if (err == aErrIO) {
      // The file broke off in the middle: what was read stays, but writing
      // it back would drop the rest.
      unreadable_ = path;
      result = aErrRead;
    }
    if (err != aErrNone) break;
    parseInto(line, length);
  }
  aFile_Close(&file);
  return result;
}

aErr AttributeFile::write(const char* path) {
  if (path) {
    fileName_ = path;
  } else if (fileName_.empty()) {
    fileName_ = ".settings";
    debugPrint(DEBUG_Attributes, "Attibutes: no filename given for attributes, using default:[%s]\n",
               fileName_.c_str());
  }
  if (!unreadable_.empty() && unreadable_ == fileName_) {
    debugPrint(DEBUG_Attributes, "Attibutes: Error - not replacing unreadable attributes file: '%s'\n",
               fileName_.c_str());
    return aErrRead;
  }
  if (dirty_) set(ATTR_UPDATED_TIME, localTimeText());
  std::string text;
  for (const auto& item : items_) text += item.first + "=" + item.second + "\n";
  aErr err = aFile_WriteAtomic(fileName_.c_str(), text.data(), text.size());
  if (err != aErrNone) {
    debugPrint(DEBUG_Attributes, "Attibutes: Error - cannot open attributes file for writting: '%s' (%d)\n",
               fileName_.c_str(), errno);
    return err;
  }
  dirty_ = false;
  return aErrNone;
}
