// The programming sequence of a serial ISP recovery.
#include "IspProgramming.h"

#include <algorithm>

namespace {

aErr programChunk(NXPSerialISP& isp, uint32_t address, const uint8_t* data, uint32_t count, std::string* step) {
  const IspTarget& target = isp.target();
  uint32_t copy = isp.copyLength(count);
  // The copy takes whole pages: what the chunk leaves of one is erased flash.
  std::vector<uint8_t> padded(copy, 0xFF);
  std::copy(data, data + count, padded.begin());
  aErr err;
  if ((err = isp.Write(target.ramBuffer, copy, padded.data())) != aErrNone) {
    *step = "W";
    return err;
  }
  if ((err = isp.prepareSectors(isp.sectorOf(address), isp.sectorOf(address + copy - 1))) != aErrNone) {
    *step = "P";
    return err;
  }
  if ((err = isp.copyRamToFlash(address, target.ramBuffer, copy)) != aErrNone)
    *step = "C";
  return err;
}

}  // namespace

aErr ispProgramImage(NXPSerialISP& isp, const std::string& port, uint32_t baud, const std::vector<uint8_t>& image,
                     std::string* step) {
  const IspTarget& target = isp.target();
  uint32_t lastSector = isp.sectorOf(target.sectors[1].start + target.sectors[1].size * target.sectors[1].count - 1);
  aErr err;
  if ((err = isp.open(port.c_str(), baud)) != aErrNone) {
    *step = "open";
    return err;
  }
  if ((err = isp.sync()) != aErrNone) {
    *step = "sync";
    return err;
  }
  if ((err = isp.unlock()) != aErrNone) {
    *step = "U";
    return err;
  }
  if ((err = isp.prepareSectors(0, lastSector)) != aErrNone) {
    *step = "P";
    return err;
  }
  if ((err = isp.eraseSectors(0, lastSector)) != aErrNone) {
    *step = "E";
    return err;
  }
  if ((err = isp.setEcho(false)) != aErrNone) {
    *step = "A";
    return err;
  }
  for (size_t offset = 0; offset < image.size(); offset += target.largestCopy) {
    uint32_t count = static_cast<uint32_t>(std::min<size_t>(target.largestCopy, image.size() - offset));
    if ((err = programChunk(isp, static_cast<uint32_t>(offset), image.data() + offset, count, step)) != aErrNone)
      return err;
  }
  if ((err = isp.setEcho(true)) != aErrNone) {
    *step = "A";
    return err;
  }
  if ((err = isp.go(0)) != aErrNone)
    *step = "G";
  return err;
}

std::vector<uint8_t> ispTestImage(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = seed | 1;
  for (uint8_t& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x >> 24);
  }
  return bytes;
}
