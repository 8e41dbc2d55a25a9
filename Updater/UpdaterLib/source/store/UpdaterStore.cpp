// The store root, device directories and the files inside them.
#include "UpdaterStore.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "UpdaterDisplay.h"
#include "aDirectory.h"
#include "aFile.h"

namespace {

std::string serialName(uint32_t serial) {
  char name[9];
  std::snprintf(name, sizeof name, "%08X", serial);
  return name;
}

// Listing state of findDevice.
struct FindContext {
  const std::string* name;
  bool found;
  std::string root, entry;
  bool isDirectory;
};

// The name of an entry must be exactly the serial text: a look-alike such as
// "old-40F5849A-backup" is another entry, and a root whose own path holds the
// serial text must not make every entry match.
bool findItem(const aDirectoryEntry* entry, void* ref) {
  FindContext* find = static_cast<FindContext*>(ref);
  debugPrint(DEBUG_Updater, "%s([%s], %d, %d) searching for %s\n", "_find_item", entry->path,
             int(entry->flags), int(entry->size), find->name->c_str());
  std::string path = entry->path;
  size_t slash = path.rfind('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base == "." || base == ".." || base != *find->name) return true;
  find->found = true;
  find->root = slash == std::string::npos ? std::string() : path.substr(0, slash);
  find->entry = base;
  find->isDirectory = entry->flags != 0;
  return false;
}

}  // namespace

std::string storeJoin(const std::string& first, const std::string& second) {
  return first + aDIR_SEPARATOR_STR + second;
}

DeviceRecord::DeviceRecord(const std::string& root, const std::string& name, bool isDirectory)
    : root_(root), name_(name), isDirectory_(isDirectory) {
  attributesStatus_ = attributes_.read(filePath(STORE_SETTINGS_FILE));
}

std::string DeviceRecord::problem() const {
  if (!empty() && !isDirectory_) return "UpdaterStore: " + path() + " exists and is a file";
  if (attributesStatus_ != aErrNone) {
    const bool unreadable = attributesStatus_ == aErrPermission || attributesStatus_ == aErrRead;
    return std::string(unreadable ? "Cannot read" : "Cannot create") + " the attribute file " +
           filePath(STORE_SETTINGS_FILE) + " (" + aError_GetErrorDescription(attributesStatus_) + ")";
  }
  return std::string();
}

BirdFile DeviceRecord::loadBird(const std::string& file) const {
  std::string path = filePath(file);
  if (!isBirdFile(path)) throw std::runtime_error("Invalid bird " + path);
  return BirdFile(path);
}

aErr DeviceRecord::writeFile(const std::string& file, const void* bytes, size_t count) const {
  if (!bytes) return aErrNotFound;
  return aFile_WriteAtomic(filePath(file).c_str(), bytes, count);
}

UpdaterStore::UpdaterStore(const std::string& root) : root_(root) { ensureDirectory(root_); }

void UpdaterStore::ensureDirectory(const std::string& path) {
  const char* p = path.c_str();
  if (aDirectory_Exists(p)) {
    debugPrint(DEBUG_Updater, "UpdaterStore: [%s] already exists.\n", p);
    return;
  }
  if (aFile_Exists(p)) throw std::runtime_error("UpdaterStore: " + path + " exists and is a file");
  aErr err = aDirectory_Ensure(p, 0755);
  if (err != aErrNone)
    throw std::runtime_error("UpdaterStore: Could not create directory " + path + " error " +
                             std::to_string(int(err)));
  debugPrint(DEBUG_Updater, "UpdaterStore: Created directory [%s].\n", p);
}

DeviceRecord UpdaterStore::getDevice(uint32_t serial) {
  std::string name = serialName(serial);
  ensureDirectory(storeJoin(root_, name));
  return DeviceRecord(root_, name, true);
}

bool UpdaterStore::findDevice(uint32_t serial, DeviceRecord* out) {
  std::string name = serialName(serial);
  FindContext find{&name, false, {}, {}, false};
  aDirectory_List(root_.c_str(), findItem, &find);
  if (find.found && out) {
    out->root_ = find.root;
    out->name_ = find.entry;
    out->isDirectory_ = find.isDirectory;
    out->attributes_ = AttributeFile();
    out->attributesStatus_ = aErrNone;
    // A plain file of the device's name has no attribute file to read.
    if (find.isDirectory)
      out->attributesStatus_ = out->attributes_.read(out->filePath(STORE_SETTINGS_FILE));
  }
  debugPrint(DEBUG_Updater, "UpdaterStore: FindDevice %s %s.\n", find.found ? "Found" : "Not Found",
             name.c_str());
  return find.found;
}
