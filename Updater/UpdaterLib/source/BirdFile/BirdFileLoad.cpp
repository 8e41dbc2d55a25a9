// Reading BIRD files from disk: the quick check and the loading constructor.
// Everything after the read is done by the I/O-free code in BirdFile.cpp.
#include <stdexcept>

#include "BirdFile.h"
#include "UpdaterDisplay.h"
#include "aFile.h"

bool isBirdFile(const std::string& path) {
  aFileRef file = aFile_Open(path.c_str(), aFileModeRead);
  if (!file) {
    debugPrint(DEBUG_BirdFile, "BIRDFILE: Error - cannot open bird file: '%s'\n", path.c_str());
    return false;
  }
  uint8_t header[BirdFile::HEADER_SIZE] = {0};
  size_t read = 0;
  aErr err = aFile_Read(file, header, sizeof header, &read);
  aFile_Close(&file);
  return err == aErrNone && read == sizeof header && header[0] == 'b' && header[1] == 'i' &&
         header[2] == 'r' && header[3] == 'd' && header[4] != 0 && header[5] != 0;
}

BirdFile::BirdFile(const std::string& filename) : filename_(filename) {
  debugPrint(DEBUG_BirdFile, "BIRDFILE: Loading File [%s]\n", filename.c_str());
  if (filename.empty() || !loadFile()) throw std::runtime_error("Failed to load bird data");
}

bool BirdFile::loadFile() {
  const char* name = filename_.c_str();
  if (!aFile_Exists(name)) {
    debugPrint(DEBUG_BirdFile, "BIRDFILE: BIRD file not found [%s]\n", name);
    return false;
  }
  aFileRef file = aFile_Open(name, aFileModeRead);
  if (!file) {
    debugPrint(DEBUG_BirdFile, "BIRDFILE: Error - cannot open bird file: '%s'\n", name);
    return false;
  }
  uint64_t size = 0;
  aErr err = aFile_GetSize(file, &size);
  if (err != aErrNone) {
    debugPrint(DEBUG_BirdFile, "BIRDFILE: Error (%d) getting bird file size from %s\n", int(err), name);
    aFile_Close(&file);
    return false;
  }
  if (size > MAX_FILE_SIZE) {
    debugPrint(DEBUG_BirdFile, "BIRDFILE: Error - bird file %s is too large (%llu bytes)\n", name,
               (unsigned long long)size);
    aFile_Close(&file);
    return false;
  }
  // One byte more than needed so that an empty file still has a buffer.
  std::vector<uint8_t> bytes(size_t(size) + 1);
  size_t read = 0;
  err = size ? aFile_Read(file, bytes.data(), size_t(size), &read) : aErrNone;
  aFile_Close(&file);
  if (err != aErrNone) {
    debugPrint(DEBUG_BirdFile, "BIRDFILE: Error (%d) reading %s\n", int(err), name);
    return false;
  }
  if (read != size) {
    debugPrint(DEBUG_BirdFile, "BIRDFILE: Error reading %s read %zu bytes of %zu byte file\n", name,
               read, size_t(size));
    return false;
  }
  return loadImage(bytes.data(), size_t(size));
}
