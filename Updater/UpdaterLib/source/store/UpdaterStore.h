#ifndef UPDATER_UPDATERSTORE_H
#define UPDATER_UPDATERSTORE_H
// The updater's local store: one directory per module under the root, named
// by its serial number "%08X", holding the BIRD files downloaded for it
// ("<build>.bird") and its attribute file ".settings":
//
//   root/0000ABCD/.settings
//   root/0000ABCD/1234.bird
//
// Diagnostics go to DEBUG_Updater, tagged "UpdaterStore: ".
#include <cstddef>
#include <cstdint>
#include <string>

#include "AttributeFile.h"
#include "BirdFile.h"
#include "aError.h"

#define STORE_SETTINGS_FILE ".settings"

// Joins path parts with '/' (no check for separators already present).
std::string storeJoin(const std::string& first, const std::string& second);

// One device directory and its attributes.
class DeviceRecord {
 public:
  // An empty record (no directory); findDevice fills it.
  DeviceRecord() = default;
  // Reads (or creates) root/name/.settings.
  DeviceRecord(const std::string& root, const std::string& name, bool isDirectory);

  // Loads root/name/file. Throws std::runtime_error "Invalid bird <path>"
  // when the file fails the quick check, "Failed to load bird data" when it
  // does not load.
  BirdFile loadBird(const std::string& file) const;
  // Creates or truncates root/name/file and writes count bytes into it.
  // aErrNotFound for a null buffer or a file that cannot be created, the
  // write's error otherwise (a short write is aErrWrite).
  aErr writeFile(const std::string& file, const void* bytes, size_t count) const;

  // The device's attributes; write() with no path goes to root/name/.settings.
  AttributeFile& attributes() { return attributes_; }
  const AttributeFile& attributes() const { return attributes_; }

  const std::string& root() const { return root_; }
  const std::string& name() const { return name_; }
  bool isDirectory() const { return isDirectory_; }
  bool empty() const { return name_.empty(); }
  std::string path() const { return storeJoin(root_, name_); }
  std::string filePath(const std::string& file) const { return storeJoin(path(), file); }

 private:
  friend class UpdaterStore;
  std::string root_;
  std::string name_;
  bool isDirectory_ = false;
  AttributeFile attributes_;
};

class UpdaterStore {
 public:
  // Makes sure root exists as a directory (see ensureDirectory).
  explicit UpdaterStore(const std::string& root);

  // Throws std::runtime_error "UpdaterStore: <path> exists and is a file",
  // or "UpdaterStore: Could not create directory <path> error <e>".
  void ensureDirectory(const std::string& path);
  // The record of serial, its directory created when missing (may throw as
  // ensureDirectory) and its attribute file read or created.
  DeviceRecord getDevice(uint32_t serial);
  // Looks for an entry of the root whose name contains the "%08X" text of
  // serial; the first one the system lists wins. Fills out (when given) with
  // its directory and attributes. No directory is created.
  bool findDevice(uint32_t serial, DeviceRecord* out);

  const std::string& root() const { return root_; }

 private:
  std::string root_;
};

#endif
