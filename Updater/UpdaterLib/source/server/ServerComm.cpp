// The update server requests: one GET each, reply checked and parsed.
#include <cstdio>
#include <stdexcept>

#include "HttpTransfer.h"
#include "ServerComm.h"
#include "UpdaterDisplay.h"

namespace {

std::string serialText(uint32_t serial) {
  char text[16];
  snprintf(text, sizeof text, "%08X", serial);
  return text;
}

// Runs one request. Returns true with parsed filled for a 200 reply whose
// first line begins with "ok"; otherwise prints the failure and returns false.
// pingStyle selects the "PING ==>" form of the status message.
bool request(const char* name, const char* baseUrl, const ServerParams& params,
             ParsedServerReply* parsed, bool pingStyle = false) {
  ServerReply reply;
  try {
    serverGet(reply, baseUrl ? baseUrl : UPDATER_DEFAULT_SERVER_URL, params);
  } catch (const std::runtime_error& error) {
    debugPrint(DEBUG_ServerComm, "%s ==> [%s]\n", name, error.what());
    return false;
  }
  if (reply.responseCode != 200) {
    if (pingStyle) {
      debugPrint(DEBUG_ServerComm, "PING ==> [%d] [%s]\n", static_cast<int>(reply.responseCode),
                 reply.body.c_str());
    } else {
      debugPrint(DEBUG_ServerComm, "%s ==> [%d] [%s]\n", name,
                 static_cast<int>(reply.responseCode), reply.body.c_str());
    }
    return false;
  }
  *parsed = parseServerReply(reply.body);
  if (!parsed->ok) {
    debugPrint(DEBUG_ServerComm, "ServerCommClass: %s failed [%s]\n", name,
               parsed->firstLine.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool ServerCommClass::ping(const char* baseUrl) {
  ParsedServerReply parsed;
  return request("ping", baseUrl, {{"op", "hi"}, {"rv", "2"}}, &parsed, true);
}

bool ServerCommClass::QueryBuild(uint32_t serial, std::string* build, std::string* firmwareId,
                                 const char* baseUrl) {
  ParsedServerReply parsed;
  if (!request("QueryBuild", baseUrl, {{"op", "qu"}, {"sn", serialText(serial)}}, &parsed)) {
    return false;
  }
  parseQueryBuildReply(parsed, build, firmwareId);
  return true;
}

bool ServerCommClass::GetBuildList(uint32_t serial, std::map<std::string, std::string>* builds,
                                   const char* baseUrl) {
  builds->clear();
  ParsedServerReply parsed;
  if (!request("GetBuildList", baseUrl, {{"op", "builds"}, {"sn", serialText(serial)}},
               &parsed)) {
    return false;
  }
  parseBuildListReply(parsed, builds);
  return true;
}

bool ServerCommClass::GetBuild(uint32_t serial, const std::string& firmwareId,
                               const std::string& build, std::string* out, const char* baseUrl,
                               bool noCal) {
  const ServerParams params = {{"op", "bird"},
                               {"sn", serialText(serial)},
                               {"fw", firmwareId},
                               {"bld", build},
                               {"no_cal", noCal ? "true" : "false"}};
  ParsedServerReply parsed;
  if (!request("GetBuild", baseUrl, params, &parsed)) return false;
  parseBuildReply(std::move(parsed), out);
  return true;
}

bool ServerCommClass::GetRecoveryInfo(const uint32_t fingerprint[4], uint32_t* serial,
                                      uint32_t* build, const char* baseUrl) {
  const ServerParams params = {
      {"op", "fix"}, {"fp", formatFingerprint(fingerprint)}, {"brief", "true"}};
  ParsedServerReply parsed;
  if (!request("GetRecoveryInfo", baseUrl, params, &parsed)) return false;
  const std::string line2 = parsed.lines.size() >= 1 ? parsed.lines[0] : std::string();
  const std::string line3 = parsed.lines.size() >= 2 ? parsed.lines[1] : std::string();
  debugPrint(DEBUG_ServerComm, "%s [%.20s][%.20s][%.20s]\n", "GetRecoveryInfo",
             parsed.firstLine.c_str(), line2.c_str(), line3.c_str());
  parseRecoveryInfoReply(parsed, serial, build);
  return true;
}
