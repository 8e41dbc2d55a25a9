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
  // Replaces root/name/file with count bytes, all or nothing (see
  // aFile_WriteAtomic): a failure leaves the old file and no partial one.
  // aErrNotFound for a null buffer or a file that cannot be created,
  // aErrWrite when writing fails (a full disk).
  aErr writeFile(const std::string& file, const void* bytes, size_t count) const;

  // The device's attributes; write() with no path goes to root/name/.settings.
  AttributeFile& attributes() { return attributes_; }
  const AttributeFile& attributes() const { return attributes_; }

  // Why this record cannot be used to keep the device's history: its entry
  // is a plain file, or its attribute file exists but cannot be read (and
  // must not be replaced). Empty when it can.
  std::string problem() const;

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
  aErr attributesStatus_ = aErrNone;
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
  // Looks for the entry of the root named exactly the "%08X" text of serial.
  // Fills out (when given) with it and, for a directory, its attributes. No
  // directory is created; check out->problem() before using it.
  bool findDevice(uint32_t serial, DeviceRecord* out);

  const std::string& root() const { return root_; }

 private:
  std::string root_;
};

#endif
