// UTF-16 to UTF-8 for the Windows backend.
#include "platform/win32/text_win32.h"

#include <windows.h>

namespace platform {

std::string narrow(const wchar_t* text) {
  int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 1) return std::string();
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], needed, nullptr, nullptr);
  out.resize(static_cast<size_t>(needed - 1));
  return out;
}

}  // namespace platform
