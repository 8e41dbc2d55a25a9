#ifndef UPDATER_RECOVERY_ISP_PROTOCOL_H
#define UPDATER_RECOVERY_ISP_PROTOCOL_H
// The I/O-free pieces of the serial ISP boot-loader protocol: the target's
// parameters, rate rounding, sector arithmetic, UU-encoding of data lines,
// checksums and the judging of status lines. Nothing here reads or writes.
#include <cstddef>
#include <cstdint>
#include <string>

// One flash sector range: count sectors of size bytes each, starting at start.
struct IspSectorRun {
  uint32_t start;
  uint32_t size;
  uint32_t count;
};

// Everything that belongs to the processor being programmed, in one place.
struct IspTarget {
  IspSectorRun sectors[2];        // the flash, lowest address first
  uint32_t sectorOutside;         // sector number given for an address outside the flash
  uint32_t crystalKHz;            // sent during synchronisation
  uint32_t ramBuffer;             // RAM address for write and copy
  uint32_t bytesPerLine;          // data bytes per UU-encoded line
  uint32_t linesPerChecksum;      // lines per checksum block
  uint32_t triesPerWrite;         // first try plus resends, shared by one W command
  uint32_t largestCopy;           // largest copy length
  uint32_t unlockCode;            // code of the U command
  // Waits (milliseconds). A status line may follow an erase of the whole
  // flash, which takes seconds on the real part; a silent loader is still
  // given up on after this long.
  uint32_t statusTimeoutMs;
  uint32_t checksumTimeoutMs;     // reply to a checksum line
  uint32_t replyTimeoutMs;        // a reply of known length, beyond its wire time
  uint32_t echoTimeoutMs;         // the echo of one text
  uint32_t serialLineTimeoutMs;   // each line of the serial-number reply
};

// The 512 KB part this updater recovers.
extern const IspTarget kIspTarget;

// Rates the serial stream accepts, by index 0-7.
extern const uint32_t kIspRates[8];
// The rate used for a requested one: up to 2400 gives 2400, else the smallest
// table rate at least as large; above 230400 gives 9600. *index receives the
// rate's index in kIspRates.
uint32_t ispRoundRate(uint32_t requested, uint32_t* index);

// Sector number holding address, or target.sectorOutside.
uint32_t ispSectorOf(const IspTarget& target, uint32_t address);
// Smallest of 256, 512, 1024, 4096 that is at least count; count itself when
// larger than 4096 (which no copy accepts).
uint32_t ispCopyLength(uint32_t count);
// Whether count is a length the copy command takes.
bool ispValidCopyLength(uint32_t count);

// UU-encodes count (<= 45) bytes into one line without terminator; out must
// hold ispUuLineLength(count) + 1 characters (it is NUL-terminated).
// Returns the number of characters.
size_t ispUuEncodeLine(const uint8_t* data, size_t count, char* out);
size_t ispUuLineLength(size_t count);
// Sum of the bytes as a 32-bit number.
uint32_t ispChecksum(const uint8_t* data, size_t count);

// The status number on one status line (terminator included or not). With
// echo on, the number is the last one on the line (what follows an echoed
// command); with echo off, the first one. The whole number is parsed with
// automatic base. False when the line holds no number there.
bool ispParseStatus(const char* line, size_t length, bool echo, long* status);
// The name of a status code ("CMD_SUCCESS" ...), "Unknown error" for others.
const char* ispStatusName(long status);

// The bytes as "%02X" separated by one blank, for the diagnostics.
std::string ispHexBytes(const char* bytes, size_t count);
// The bytes with unprintable ones as blanks; with escapeLineEnds "\r" and
// "\n" appear as the two-character escapes.
std::string ispPrintable(const char* bytes, size_t count, bool escapeLineEnds);

// Time a text of length characters needs on the wire, as the pacing of the
// sender counts it (9 bit times per character plus two characters of slack).
double ispSendTimeMs(size_t length, uint32_t baud);

#endif
