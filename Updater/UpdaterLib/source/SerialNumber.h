// Serial numbers as hexadecimal text: the -d and -r options.
#ifndef UPDATER_SERIAL_NUMBER_H
#define UPDATER_SERIAL_NUMBER_H

#include <cstdint>
#include <string>

// The value of one hexadecimal digit (either case), or -1 for any other character.
int hexDigitValue(char c);

// True when the text begins with "0x" or "0X".
bool hasHexPrefix(const std::string& text);

// The whole text as hexadecimal digits (either case), without a prefix.
// False when the text is empty, holds any other character, or the number
// does not fit in 32 bits (leading zeros do not count against it). A serial
// number of 0 is read as 0: whether it names a module is the caller's rule.
bool parseSerialNumber(const std::string& text, uint32_t* value);

#endif
