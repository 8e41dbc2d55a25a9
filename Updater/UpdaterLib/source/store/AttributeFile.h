#ifndef UPDATER_ATTRIBUTEFILE_H
#define UPDATER_ATTRIBUTEFILE_H
// A device's attribute file (".settings"): text lines "KEY=VALUE", written
// in byte-wise key order. Reading skips lines shorter than 3 characters and
// lines starting with '#', trims white space around key and value, takes a
// line without '=' as a key with an empty value, ignores lines with an empty
// key and text after a NUL byte, skips lines of 2047 bytes or more, and stops
// at a read error keeping what was read so far. Diagnostics go to
// DEBUG_Attributes, tagged "Attibutes: ".
#include <cstddef>
#include <map>
#include <string>

#include "aError.h"

// Keys written by the updater.
#define ATTR_CREATED_TIME "CREATED_TIME"
#define ATTR_UPDATED_TIME "UPDATED_TIME"
#define ATTR_LATEST_DOWNLOAD "LATEST_DOWNLOAD"
#define ATTR_LAST_DOWNLOAD_DATE "LAST_DOWNLOAD_DATE"
#define ATTR_LATEST_TRANSFER "LATEST_TRANSFER"
#define ATTR_LAST_TRANSFER_DATE "LAST_TRANSFER_DATE"

// The current local time as the 24-character calendar text
// "Www Mmm dd hh:mm:ss yyyy" (no line end), as stored in the *_TIME and
// *_DATE attributes.
std::string localTimeText();

class AttributeFile {
 public:
  // Size of the line buffer; a line must fit with its line feed in one less.
  static constexpr size_t LINE_BUFFER_SIZE = 2048;

  AttributeFile() = default;
  // With a path, reads it (creating it when missing).
  explicit AttributeFile(const char* path);

  // Loads the items of path over the ones held. A missing file is created
  // with CREATED_TIME and UPDATED_TIME. A file that exists but cannot be
  // opened (aErrPermission) or read to its end (aErrRead) is never replaced:
  // later writes to it fail with aErrRead. aErrNone when the file was read or
  // created, otherwise the error of the failed creation.
  aErr read(const std::string& path);
  // Writes all items to path (null: the file read last, else ".settings"),
  // first setting UPDATED_TIME when something changed since the last read or
  // write. The file is replaced whole (see aFile_WriteAtomic): a failure
  // leaves the old file as it was. On failure the items stay dirty and an
  // error is returned (aErrNotFound: cannot create the file, aErrWrite: write
  // failed, aErrRead: the file could not be read and is kept).
  aErr write(const char* path = nullptr);

  // Stores the value; the file becomes dirty when it differs from the old
  // one (a missing key counts as empty). Always true.
  bool set(const std::string& key, const char* value);
  bool set(const std::string& key, const std::string& value);
  // Decimal value of key up to its first non-digit; an empty value gives
  // fallback. A missing key is inserted with an empty value (written out as
  // "KEY=" by the next write).
  int getInt(const std::string& key, int fallback);
  // The value, or fallback (empty for null) when the key is missing.
  std::string getString(const std::string& key, const char* fallback = nullptr) const;

  // Parses attribute text held in memory with the rules of read. No I/O.
  // Returns the number of lines that gave an item.
  size_t parse(const char* text, size_t size);
  // Parses one line (with or without its line feed) into key and value;
  // false for a line that holds no item.
  static bool parseLine(const char* line, size_t length, std::string& key, std::string& value);

  const std::string& fileName() const { return fileName_; }
  const std::map<std::string, std::string>& items() const { return items_; }
  bool dirty() const { return dirty_; }
  bool has(const std::string& key) const { return items_.count(key) != 0; }

 private:
  bool parseInto(const char* line, size_t length);

  std::string fileName_;
  std::string unreadable_;  // a file that exists but could not be read
  std::map<std::string, std::string> items_;
  bool dirty_ = false;
};

#endif
