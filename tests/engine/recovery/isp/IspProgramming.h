#ifndef TESTS_RECOVERY_ISP_PROGRAMMING_H
#define TESTS_RECOVERY_ISP_PROGRAMMING_H
// The programming sequence of a serial ISP recovery, for tests and the
// benchmark: open, sync, unlock, prepare and erase all sectors, echo off,
// each chunk of at most 4096 bytes written to the RAM buffer (padded with
// 0xFF to its copy length) and copied to flash, echo on, start at 0.
#include <cstdint>
#include <string>
#include <vector>

#include "recovery/isp/NXPSerialISP.h"

// aErrNone, or the first failure with *step naming the command that failed.
aErr ispProgramImage(NXPSerialISP& isp, const std::string& port, uint32_t baud, const std::vector<uint8_t>& image,
                     std::string* step);

// Deterministic pseudo-random bytes.
std::vector<uint8_t> ispTestImage(size_t size, uint32_t seed);

#endif
