#ifndef UPDATER_SERVER_SERVERCOMM_H
#define UPDATER_SERVER_SERVERCOMM_H
// The questions the updater puts to the update server. Each request is one
// GET of the base URL with an "op" parameter; a reply whose first line
// begins with "ok" carries the answer on its further lines.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The update server a reference server started with its defaults answers on.
#define UPDATER_DEFAULT_SERVER_URL "http://127.0.0.1:8750/cgi/u"

// Requests keep no state. They return false on a transport failure, a status
// other than 200 or a reply without "ok" (each with a DEBUG_ServerComm line)
// and never throw. A null base URL means UPDATER_DEFAULT_SERVER_URL.
class ServerCommClass {
 public:
  // op=hi, rv=2.
  static bool ping(const char* baseUrl = nullptr);
  // op=qu: line 2 is the current build, line 3 the firmware identifier. Each
  // output that has a line in the reply is replaced by it.
  static bool QueryBuild(uint32_t serial, std::string* build, std::string* firmwareId,
                         const char* baseUrl = nullptr);
  // op=builds: one "build;description" line per build. builds is cleared
  // first, also when the request then fails.
  static bool GetBuildList(uint32_t serial, std::map<std::string, std::string>* builds,
                           const char* baseUrl = nullptr);
  // op=bird: line 2 is the BIRD file in base64. On success out is cleared and
  // then set to line 2 when there is one.
  static bool GetBuild(uint32_t serial, const std::string& firmwareId, const std::string& build,
                       std::string* out, const char* baseUrl = nullptr, bool noCal = false);
  // op=fix: line 2 is the serial number (hexadecimal), line 3 the build.
  static bool GetRecoveryInfo(const uint32_t fingerprint[4], uint32_t* serial, uint32_t* build,
                              const char* baseUrl = nullptr);
};

// Reply parsing, free of I/O. The body is split at line feeds; a final
// fragment after the last line feed counts as a line only when not empty.
struct ParsedServerReply {
  bool ok = false;                 // line 1 begins with "ok"
  std::string firstLine;           // line 1, as received
  std::vector<std::string> lines;  // lines 2 ... as received (carriage returns kept)
  std::vector<bool> terminated;    // per entry of lines: ended by a line feed
};
ParsedServerReply parseServerReply(const std::string& body);

void parseQueryBuildReply(const ParsedServerReply& reply, std::string* build,
                          std::string* firmwareId);
// Adds the entries of the reply to builds (a build listed twice keeps its
// first description).
void parseBuildListReply(const ParsedServerReply& reply, std::map<std::string, std::string>* builds);
void parseBuildReply(const ParsedServerReply& reply, std::string* out);
// The same, taking the text from the reply instead of copying it.
void parseBuildReply(ParsedServerReply&& reply, std::string* out);
void parseRecoveryInfoReply(const ParsedServerReply& reply, uint32_t* serial, uint32_t* build);

// The fp parameter of op=fix: four "%08X" words joined by "%20".
std::string formatFingerprint(const uint32_t fingerprint[4]);

#endif
