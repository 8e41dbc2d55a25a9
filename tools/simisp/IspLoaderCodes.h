#ifndef SIMISP_ISP_LOADER_CODES_H
#define SIMISP_ISP_LOADER_CODES_H
// The simulated boot loader's status codes, its flash layout and the sizes of
// its UU-encoded transfers, shared by its command and memory handlers.
#include <cstdint>

namespace isploader {

enum Status : long {
  kSuccess = 0,
  kInvalidCommand = 1,
  kSrcAddrError = 2,
  kDstAddrError = 3,
  kSrcAddrNotMapped = 4,
  kDstAddrNotMapped = 5,
  kCountError = 6,
  kInvalidSector = 7,
  kSectorNotBlank = 8,
  kSectorNotPrepared = 9,
  kCompareError = 10,
  kParamError = 12,
  kAddrError = 13,
  kAddrNotMapped = 14,
  kCmdLocked = 15,
  kInvalidCode = 16,
};

const uint32_t kSectors = 30;
const uint32_t kUnlockCode = 23130;
const uint32_t kLinesPerBlock = 20;
const uint32_t kBytesPerLine = 45;

inline uint32_t sectorStart(uint32_t sector) {
  return sector < 16 ? sector * 4096 : 0x10000 + (sector - 16) * 32768;
}

inline uint32_t sectorOfAddress(uint32_t address) {
  return address < 0x10000 ? address / 4096 : 16 + (address - 0x10000) / 32768;
}

}  // namespace isploader

#endif
