#ifndef KELVARION_PLATFORM_WIN32_TEXT_WIN32_H
#define KELVARION_PLATFORM_WIN32_TEXT_WIN32_H
// UTF-16 text from the Windows API as the UTF-8 the rest of the library uses.
#include <string>

namespace platform {

// The UTF-8 form of a NUL-terminated UTF-16 text; empty for an empty text or
// one that does not convert.
std::string narrow(const wchar_t* text);

}  // namespace platform

#endif
