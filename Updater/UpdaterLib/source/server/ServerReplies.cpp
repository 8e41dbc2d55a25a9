// Parsing of the update server's replies. Pure functions over the body text,
// so that they can be tested and fuzzed without a server.
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <utility>

#include "ServerComm.h"
#include "UpdaterDisplay.h"

namespace {

// The text of line up to the first of the given stop characters.
std::string upTo(const std::string& line, const char* stops) {
  return line.substr(0, line.find_first_of(stops));
}

// strtoul of a whole line; the text is NUL-terminated by std::string.
unsigned long readNumber(const std::string& line, int base) {
  return strtoul(line.c_str(), nullptr, base);
}

}  // namespace

ParsedServerReply parseServerReply(const std::string& body) {
  ParsedServerReply reply;
  std::vector<std::string> all;
  std::vector<bool> terminated;
  size_t start = 0;
  while (start < body.size()) {
    const size_t end = body.find('\n', start);
    if (end == std::string::npos) {
      all.push_back(body.substr(start));
      terminated.push_back(false);
      break;
    }
    all.push_back(body.substr(start, end - start));
    terminated.push_back(true);
    start = end + 1;
  }
  if (all.empty()) return reply;  // an empty body carries no "ok"
  reply.firstLine = all.front();
  reply.ok = reply.firstLine.compare(0, 2, "ok") == 0;
  reply.lines.assign(std::make_move_iterator(all.begin() + 1), std::make_move_iterator(all.end()));
  reply.terminated.assign(terminated.begin() + 1, terminated.end());
  return reply;
}

void parseQueryBuildReply(const ParsedServerReply& reply, std::string* build,
                          std::string* firmwareId) {
  // The build line is taken up to its line feed only; the identifier line
  // also stops at a carriage return.
  if (build && reply.lines.size() >= 1) *build = reply.lines[0];
  if (firmwareId && reply.lines.size() >= 2) *firmwareId = upTo(reply.lines[1], "\r\n");
}

void parseBuildListReply(const ParsedServerReply& reply,
                         std::map<std::string, std::string>* builds) {
  for (size_t i = 0; i < reply.lines.size(); ++i) {
    const std::string& line = reply.lines[i];
    // Lines shorter than 3 characters, counting the line feed that ended
    // them, carry no entry: blank lines, "\r\n" and stray bytes.
    if (line.size() + (reply.terminated[i] ? 1 : 0) < 3) continue;
    debugPrint(DEBUG_ServerComm, "%s processing entry: [%s]\n", "GetBuildList", line.c_str());
    const std::string fields = upTo(line, "\r\n");
    const size_t split = fields.find(';');
    const std::string build = fields.substr(0, split);
    if (build.empty()) continue;
    std::string description;
    if (split != std::string::npos) description = upTo(fields.substr(split + 1), ";");
    if (builds->emplace(build, description).second) {
      debugPrint(DEBUG_ServerComm, "%s [%.10s][%.10s]\n", "GetBuildList", build.c_str(),
                 description.c_str());
    }
  }
}

void parseBuildReply(ParsedServerReply&& reply, std::string* out) {
  out->clear();
  if (!reply.lines.empty()) *out = std::move(reply.lines[0]);
}

void parseBuildReply(const ParsedServerReply& reply, std::string* out) {
  parseBuildReply(ParsedServerReply(reply), out);
}

void parseRecoveryInfoReply(const ParsedServerReply& reply, uint32_t* serial, uint32_t* build) {
  if (serial && reply.lines.size() >= 1) *serial = static_cast<uint32_t>(readNumber(reply.lines[0], 16));
  if (build && reply.lines.size() >= 2) *build = static_cast<uint32_t>(readNumber(reply.lines[1], 0));
}

std::string formatFingerprint(const uint32_t fingerprint[4]) {
  char text[64];
  snprintf(text, sizeof text, "%08X%%20%08X%%20%08X%%20%08X", fingerprint[0], fingerprint[1],
           fingerprint[2], fingerprint[3]);
  return text;
}
