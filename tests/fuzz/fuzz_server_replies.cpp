// Fuzzes the update server's reply parsers, the base64 decoder and the
// escaping of request parameters: what a hostile server sends, and what it
// can make the next request carry.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "server/HttpTransfer.h"
#include "server/ServerComm.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

void checkBase64(const std::string& text) {
  size_t length = 12345;
  unsigned char* bytes = base64Decode(text.data(), text.size(), &length);
  if (text.size() % 4 != 0) check(bytes == nullptr);
  if (!bytes) return;
  check(length <= text.size() / 4 * 3);
  check(bytes[length] == 0);
  std::free(bytes);
}

void checkEscape(const std::string& text) {
  const std::string escaped = escapeQueryText(text);
  check(escaped.size() >= text.size());
  for (size_t i = 0; i < escaped.size(); ++i) {
    const char c = escaped[i];
    // Nothing that could end, add or cut a parameter.
    check(c != '&' && c != '=' && c != '#' && c != '?' && c != ' ' && c != '+' &&
          static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F);
    if (c == '%') check(i + 2 < escaped.size() && isHex(escaped[i + 1]) && isHex(escaped[i + 2]));
  }
  const std::string url = buildServerUrl("http://h/cgi/u", {{"fw", text}, {"op", "bird"}});
  check(url.find("&op=bird&") != std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  const ParsedServerReply reply = parseServerReply(body);
  check(reply.lines.size() == reply.terminated.size());
  check(reply.ok == (reply.firstLine.compare(0, 2, "ok") == 0));

  std::string build = "unchanged", firmware = "unchanged";
  parseQueryBuildReply(reply, &build, &firmware);
  check(firmware.find('\r') == std::string::npos && firmware.find('\n') == std::string::npos);
  std::map<std::string, std::string> builds;
  parseBuildListReply(reply, &builds);
  for (const auto& entry : builds) check(entry.first.find('\n') == std::string::npos);
  std::string bird;
  parseBuildReply(reply, &bird);
  uint32_t serial = 0, number = 0;
  parseRecoveryInfoReply(reply, &serial, &number);

  checkBase64(bird);
  checkBase64(body);
  checkEscape(body);
  checkEscape(firmware);
  return 0;
}
