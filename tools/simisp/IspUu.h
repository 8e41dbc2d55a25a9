#ifndef SIMISP_UU_H
#define SIMISP_UU_H
// UU-encoding as the boot loader reads and writes it: a length character
// (count + 32, 0x60 for 0) and 4 characters per 3 bytes, each 6 bits + 32
// with 0x60 standing for 0.
#include <cstdint>
#include <string>
#include <vector>

// Decodes one line (without line end). False when the line is malformed:
// with a bad length character out is empty, else it holds the line's count
// of bytes with zeros for what could not be decoded.
bool uuDecodeLine(const std::string& line, std::vector<uint8_t>* out);
// Encodes up to 45 bytes into one line (without line end).
std::string uuEncodeLine(const uint8_t* data, size_t count);

#endif
