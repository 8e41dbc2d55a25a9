// The serial download protocol over a serial port.
#include "Serial_SDPLoader.h"

#include <cstdio>

#include "SDPCommands.h"
#include "UpdaterDisplay.h"
#include "aTime.h"

namespace {
// A device that never stops sending ends the reply after this many bytes.
const size_t kMaxReplyBytes = 4096;
}  // namespace

// The serial stream opens a port by its name as a path, so the name is the path.
Serial_SDPLoader::Serial_SDPLoader(const std::string& portName) : path(portName) {}

Serial_SDPLoader::~Serial_SDPLoader() {
  if (stream)
    aStream_Destroy(&stream);
}

bool Serial_SDPLoader::open() {
  if (stream)
    return true;
  aErr err = aStream_CreateSerial(path.c_str(), aSERIAL_BAUD_115200, 0, 0, 0, &stream);
  if (err != aErrNone) {
    printf("Unable to open Serial Port: %s\n", path.c_str());
    fflush(stdout);
    stream = nullptr;
    return false;
  }
  return true;
}

std::ptrdiff_t Serial_SDPLoader::write(const std::vector<uint8_t>& bytes) {
  if (!stream || bytes.empty())
    return -1;
  size_t count = bytes.size() - 1;  // the report ID stays off the line
  if (count == 0)
    return 0;
  aErr err = aStream_Write(stream, bytes.data() + 1, count);
  if (err != aErrNone) {
    debugPrint(DEBUG_iMXSerial, "Error: serial port took no more bytes (%d). Aborting write\n", static_cast<int>(err));
    return -1;
  }
  return static_cast<std::ptrdiff_t>(count);
}

std::ptrdiff_t Serial_SDPLoader::read(std::vector<uint8_t>& buffer, uint32_t delayMs) {
  if (!stream)
    return 0;
  if (delayMs)
    aTime_MSSleep(delayMs);
  std::ptrdiff_t total = 0;
  while (static_cast<size_t>(total) < kMaxReplyBytes) {
    uint8_t byte;
    aErr err = aStream_Read(stream, &byte, 1);
    if (err == aErrNotReady && aStream_Wait(stream, byteWaitMs) == aErrNone)
      err = aStream_Read(stream, &byte, 1);
    if (err != aErrNone)
      break;
    buffer.push_back(byte);
    ++total;
  }
  return total;
}

bool Serial_SDPLoader::responseWord(const std::vector<uint8_t>& response, size_t offset, uint32_t& word) {
  return sdp::serialResponseWord(response, offset, word);
}
