// Build numbers as text: the -b option, the update server's replies and the
// names of the BIRD files kept in the store ("<build>.bird").
#ifndef UPDATER_BUILD_NUMBER_H
#define UPDATER_BUILD_NUMBER_H

#include <cstdint>
#include <string>

// The whole text as an unsigned decimal number. False when the text is empty,
// holds anything but the digits 0-9, or the number does not fit in 32 bits.
bool parseBuildNumber(const std::string& text, uint32_t* value);

// Leading white space, then decimal digits up to the first other character
// (a server line such as "12;Release 1.2"). False when no digit starts the
// text or the number does not fit in 32 bits.
bool readLeadingBuildNumber(const std::string& text, uint32_t* value);

// readLeadingBuildNumber for a server's build text: 0, with a diagnostic,
// when the text does not start with a number that fits in 32 bits.
uint32_t buildNumberOrZero(const std::string& text);

// The build of a stored file name such as "1234.bird" (the store's record
// of the latest download or transfer); 0 when it does not start with one.
uint32_t buildOfFileName(const std::string& name);

// True when the text is digits only, however many (a number too large for
// 32 bits still counts).
bool isDecimalDigits(const std::string& text);

// The store's file name of a build: "<build>.bird".
std::string buildFileName(uint32_t build);

#endif
